#include "platform/gui/dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>

#include "platform/gui/qtwidget.h"

namespace {
bool Run(TModalRequest& r, TCommonDialog* d, const std::function<bool(TModalRequest&)>& real) {
  r.Dialog = d;
  if (d->OnShow) d->OnShow(d);
  bool ok;
  if (HasModalAnswer() || HeadlessPlatform()) ok = RunModal(r) == mrOk;
  else ok = real(r);
  if (d->OnClose) d->OnClose(d);
  return ok;
}

// "Text|*.a;*.b|..." as Qt's "Text (*.a *.b);;...".
QString QtFilter(const std::string& f) {
  QStringList parts = QString::fromStdString(f).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) out << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
  return out.join(";;");
}

// The font with the name its face gives its style ("Book", "Regular"): the font dialog opens
// on that style, where a name it doesn't find ("Normal") leaves it on the first in its list.
QFont WithStyleName(QFont f) {
  const QFontInfo face(f);
  if (!face.styleName().isEmpty() && QFontDatabase::styles(face.family()).contains(face.styleName())) {
    f.setFamily(face.family());
    f.setStyleName(face.styleName());
  }
  return f;
}
}  // namespace

bool TColorDialog::Execute() {
  TModalRequest r;
  r.Kind = mkColor;
  r.Color = FColor;
  r.HelpContext = FHelpContext;
  bool ok = Run(r, this, [](TModalRequest& q) {
    QColor c = QColorDialog::getColor(QtColor(q.Color));
    if (!c.isValid()) return false;
    q.Color = RGB(c.red(), c.green(), c.blue());
    return true;
  });
  if (ok) FColor = r.Color;
  return ok;
}

bool TFontDialog::Execute() {
  TModalRequest r;
  r.Kind = mkFont;
  r.HelpContext = FHelpContext;
  return Run(r, this, [this](TModalRequest&) {
    bool ok = false;
    QFont f = QFontDialog::getFont(&ok, WithStyleName(FFont.QtFont()));
    if (!ok) return false;
    FFont.SetName(f.family().toStdString());
    QFontInfo info(f);
    FFont.SetHeight(-(f.pixelSize() > 0 ? f.pixelSize() : info.pixelSize()));
    TFontStyles s = 0;
    if (f.bold()) s |= fsBold;
    if (f.italic()) s |= fsItalic;
    if (f.underline()) s |= fsUnderline;
    if (f.strikeOut()) s |= fsStrikeOut;
    FFont.SetStyle(s);
    return true;
  });
}

bool TOpenDialog::Execute() {
  TModalRequest r;
  r.Kind = Saving() ? mkSaveFile : mkOpenFile;
  r.Caption = FTitle;
  r.Value = FFileName;
  r.Text = FFilter;
  r.HelpContext = FHelpContext;
  bool ok = Run(r, this, [this](TModalRequest& q) {
    QString dir = QString::fromStdString(FInitialDir.empty() ? q.Value : FInitialDir + "/" + q.Value);
    QString name = Saving()
                       ? QFileDialog::getSaveFileName(nullptr, QString::fromStdString(FTitle), dir, QtFilter(FFilter))
                       : QFileDialog::getOpenFileName(nullptr, QString::fromStdString(FTitle), dir, QtFilter(FFilter));
    if (name.isEmpty()) return false;
    q.Value = name.toStdString();
    return true;
  });
  if (ok) {
    FFileName = r.Value;
    // A name without an extension takes the default one.
    if (!FDefaultExt.empty()) {
      size_t slash = FFileName.find_last_of("/\\");
      size_t dot = FFileName.find_last_of('.');
      if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) FFileName += "." + FDefaultExt;
    }
  }
  return ok;
}
