#include "quillon/filedialogs.h"

#include <QFileDialog>
#include <QStringList>

#include "platform/gui/controls.h"

namespace quillon {

namespace {
// "Desc|*.a;*.b|Desc2|*.c" becomes "Desc (*.a *.b);;Desc2 (*.c)".
QString QtFilter(const std::string& filter) {
  QStringList parts = QString::fromStdString(filter).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString pat = parts[i + 1];
    pat.replace(';', ' ');
    out << parts[i] + " (" + pat + ")";
  }
  return out.join(";;");
}
}  // namespace

TPlainFileDialog::TPlainFileDialog(TComponent* AOwner, bool Save) : TComponent(AOwner), FSave(Save) {}

bool TPlainFileDialog::Execute() {
  TModalRequest r;
  r.Kind = FSave ? mkSaveFile : mkOpenFile;
  r.Caption = FTitle.empty() ? (FSave ? "Save As" : "Open") : FTitle;
  r.Text = FFilter;
  r.Value = FFileName;
  r.Dialog = this;
  if (HasModalAnswer() || HeadlessPlatform()) {
    const int res = RunModal(r);
    if (res != mrOk || r.Value.empty()) return false;
    FFileName = r.Value;
    return true;
  }
  const QString cap = QString::fromStdString(r.Caption), start = QString::fromStdString(FFileName);
  const QString name = FSave ? QFileDialog::getSaveFileName(nullptr, cap, start, QtFilter(FFilter))
                             : QFileDialog::getOpenFileName(nullptr, cap, start, QtFilter(FFilter));
  if (name.isEmpty()) return false;
  FFileName = name.toStdString();
  return true;
}

}  // namespace quillon
