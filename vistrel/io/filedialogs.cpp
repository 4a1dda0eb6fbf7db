#include "vistrel/io/filedialogs.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <exception>
#include <functional>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/gui/controls.h"
#include "vistrel/codecs/ioparams.h"
#include "vistrel/io/iopreviews.h"
#include "vistrel/io/registry.h"
#include "vistrel/io/vistrelio.h"
#include "vistrel/io/vistrelmio.h"
#include "vistrel/io/vistrelmview.h"
#include "vistrel/view/vistrelview.h"

namespace vistrel {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
std::string ExtOf(const std::string& Name) {
  const std::string base = std::filesystem::path(Name).filename().string();
  const size_t dot = base.rfind('.');
  return dot == std::string::npos ? std::string() : base.substr(dot);
}
// ".png" of "*.png;*.PNG"; empty when the pattern has no dot.
std::string PatternExt(const std::string& Pattern) {
  const size_t dot = Pattern.find('.');
  if (dot == std::string::npos) return {};
  std::string e = Pattern.substr(dot, Pattern.find(';', dot) - dot);
  if (e.find_first_of("*?") != std::string::npos) return {};
  return e;
}
// Whether "*.jpg;*.jpeg" names the extension ".JPEG".
bool PatternHasExt(const std::string& Pattern, const std::string& Ext) {
  if (Ext.size() < 2) return false;
  const std::string want = "*" + Lower(Ext);
  size_t start = 0;
  for (;;) {
    const size_t semi = Pattern.find(';', start);
    if (Lower(Pattern.substr(start, semi == std::string::npos ? std::string::npos : semi - start)) == want) return true;
    if (semi == std::string::npos) return false;
    start = semi + 1;
  }
}
std::string KbText(int64_t n) { return n > 1023 ? std::to_string(n / 1024) + " Kb" : std::to_string(n) + " bytes"; }

// Inset of the panels' controls from the panels' edges.
constexpr int kBorder = 6;
constexpr int kGap = 4;
constexpr int kGlyphSize = 16;
const char* const kUnreadable = "This file can't be read.";

// A control whose widget sits in one of Qt's layouts takes the size the layout gives it, so
// its OnResize lays its children out again.
class TFollowLayout : public QObject {
 public:
  explicit TFollowLayout(TControl* Control) : QObject(Control->Widget()), FControl(Control) {
    Control->Widget()->installEventFilter(this);
  }
  bool eventFilter(QObject* o, QEvent* e) override {
    if ((e->type() == QEvent::Resize || e->type() == QEvent::Move) && o == FControl->Widget()) {
      const QWidget* w = FControl->Widget();
      if (w->parentWidget()) {
        const QRect g = w->geometry();
        FControl->SetBounds(g.x(), g.y(), g.width(), g.height());
      }
    }
    return false;
  }

 private:
  TControl* FControl;
};

// A button of the strip: as large as its caption needs, never below the classic size.
QSize StripButtonSize(const TControl* c) {
  const QSize hint = c->Widget()->sizeHint();
  return {std::max(75, hint.width()), std::max(23, hint.height())};
}

// A file dialog that asks before it closes with a choice, and stays up as the user left it
// when the answer is no.
class TAskingFileDialog : public QFileDialog {
 public:
  TAskingFileDialog(const QString& Caption, const QString& Dir) : QFileDialog(nullptr, Caption, Dir) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  }
  std::function<bool()> CanAccept;

 protected:
  void done(int Result) override {
    if (Result == QDialog::Accepted && CanAccept && !CanAccept()) return;
    QFileDialog::done(Result);
  }
};

TSpeedButton* IconButton(TComponent* Owner, TWinControl* Parent, const char* Icon) {
  auto* b = new TSpeedButton(Owner);
  b->SetParent(Parent);
  b->SetFlat(true);
  if (LoadThemeGlyph(Icon, kGlyphSize, b->Glyph())) b->SetNumGlyphs(4);
  b->SetShowHint(true);
  b->SetTabStop(true);
  return b;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

TOpenVistrelDialog::TOpenVistrelDialog(TComponent* AOwner) : TVLCommonDialog(AOwner) {
  InfoPanel = new TPanel(this);
  InfoPanel->SetName("InfoPanel");
  InfoPanel->SetBounds(204, 5, 169, 200);
  InfoPanel->SetBevelOuter(bvNone);
  InfoLabel1 = new TLabel(this);
  InfoLabel1->SetParent(InfoPanel);
  InfoLabel1->SetAutoSize(false);
  InfoLabel1->SetBounds(6, 6, 157, 23);
  InfoLabel2 = new TLabel(this);
  InfoLabel2->SetParent(InfoPanel);
  InfoLabel2->SetAutoSize(false);
  InfoLabel2->SetBounds(6, 29, 157, 23);
  AdvancedButton = new TButton(this);
  AdvancedButton->SetParent(InfoPanel);
  AdvancedButton->SetBounds(333, 0, 75, 23);
  AdvancedButton->SetVisible(false);
  PreviewCheck = new TCheckBox(this);
  PreviewCheck->SetParent(InfoPanel);
  PreviewCheck->SetBounds(427, 0, 75, 23);
  PreviewCheck->SetChecked(true);
  PreviewCheck->SetVisible(false);
  PreviewCheck->OnClick = [this](TObject* s) { PreviewCheckClick(s); };

  PicturePanel = new TPanel(this);
  PicturePanel->SetName("PicturePanel");
  PicturePanel->SetBounds(204, 5, 169, 200);
  PicturePanel->SetBevelOuter(bvNone);
  TLabel** labels[3] = {&PicLabel1, &PicLabel2, &PicLabel3};
  for (int i = 0; i < 3; ++i) {
    *labels[i] = new TLabel(this);
    (*labels[i])->SetParent(PicturePanel);
    (*labels[i])->SetAutoSize(false);
    (*labels[i])->SetBounds(6, 180 + 23 * i, 157, 23);
  }
  ZoomCombo = new TComboBox(this);
  ZoomCombo->SetParent(PicturePanel);
  ZoomCombo->SetBounds(6, 5, 50, 21);
  ZoomCombo->SetStyle(csDropDownList);
  ZoomCombo->OnChange = [this](TObject*) { ApplyZoom(); };
  ZoomCombo->SetHint("Zoom");
  ZoomCombo->SetShowHint(true);
  for (const char* z : {"Fit", "25%", "50%", "75%", "100%", "125%", "150%", "175%", "200%", "300%", "400%"})
    ZoomCombo->Items()->Add(z);
  PreviewButton = IconButton(this, PicturePanel, "view-fullscreen");
  PreviewButton->SetBounds(60, 5, 23, 22);
  PreviewButton->SetEnabled(false);
  PreviewButton->OnClick = [this](TObject*) { ShowPreviewWindow(); };
  PlayButton = IconButton(this, PicturePanel, "media-playback-start");
  PlayButton->SetHint("Play");
  PlayButton->SetBounds(85, 5, 23, 22);
  PlayButton->SetEnabled(false);
  PlayButton->SetGroupIndex(1);
  PlayButton->SetAllowAllUp(true);
  PlayButton->OnClick = [this](TObject* s) { PlayClick(s); };

  FView = new TVistrelView(this);
  FView->SetName("VistrelView");
  FView->SetParent(PicturePanel);
  FView->SetBounds(6, 32, 133, 139);
  FView->SetBackground(clWhite);
  FView->OnDblClick = [this](TObject*) { ShowPreviewWindow(); };
  FMView = new TVistrelMView(this);
  FMView->SetName("VistrelMView");
  FMView->SetParent(PicturePanel);
  FMView->SetBounds(6, 32, 133, 139);
  FMView->SetThumbWidth(100);
  FMView->SetThumbHeight(109);
  FMView->SetVisible(false);
  FMView->SetBackground(clWhite);
  ProgressBar = new TProgressBar(this);
  ProgressBar->SetParent(PicturePanel);
  ProgressBar->SetBounds(0, 55, 127, 19);
  ProgressBar->SetVisible(false);
  ReadErrorLabel = new TLabel(this);
  ReadErrorLabel->SetParent(PicturePanel);
  ReadErrorLabel->SetAutoSize(false);
  ReadErrorLabel->SetWordWrap(true);
  ReadErrorLabel->SetAlignment(taCenter);
  ReadErrorLabel->SetLayout(tlCenter);
  ReadErrorLabel->SetColor(clWhite);
  ReadErrorLabel->SetVisible(false);

  new TFollowLayout(PicturePanel);
  new TFollowLayout(InfoPanel);
  PicturePanel->OnResize = [this](TObject*) { LayoutPicturePanel(); };
  InfoPanel->OnResize = [this](TObject*) { LayoutInfoPanel(); };

  FIO = new TVistrelIO(this);
  FIO->SetAttachedVistrel(FView);
  FIO->OnProgress = [this](TObject*, int p) { ProgressBar->SetPosition(p); };
  FMIO = new TVistrelMIO(this);
  FMIO->SetAttachedMView(FMView);
  FMIO->OnProgress = [this](TObject*, int p) { ProgressBar->SetPosition(p); };
  FMView->OnImageSelect = [this](TObject*, int idx) {
    if (idx >= 0 && idx < FMIO->ParamsCount()) ShowInfo(FMIO->Params(idx));
  };
}

TOpenVistrelDialog::~TOpenVistrelDialog() = default;

std::string TOpenVistrelDialog::BuildFilter() {
  std::string all = "All graphics|", list;
  const auto& formats = VLFileFormats();
  for (size_t f = 0; f < formats.size(); ++f) {
    const TVLFileFormatInfo* fi = formats[f];
    const int n = VLFormatExtCount(fi->TypeId);
    std::string pattern, upper;
    for (int i = 0; i < n; ++i) {
      const std::string e = VLFormatExt(fi->TypeId, i);
      pattern += (i ? ";*." : "*.") + Lower(e);
      upper += (i ? ";" : "") + Upper(e);
    }
    all += pattern;
    if (f + 1 < formats.size()) all += ";";
    list += "|" + fi->Description + " (" + upper + ")|" + pattern;
  }
  return all + ";*.avi" + list + "|Video for Windows (AVI)|*.avi";
}

void TOpenVistrelDialog::SetInitialDir(const std::string& Dir) {
  FInitialDir = Dir;
  if (FInitialDir.size() > 1 && FInitialDir.back() == '/') FInitialDir.pop_back();
}

std::string TOpenVistrelDialog::FileName() const {
  if (!FShowing) return FFileName;
  if (FSelected.empty()) return {};
  return FSelected.front();
}

std::string TOpenVistrelDialog::DescriptionOf(int Index) const {
  size_t start = 0;
  for (int i = 1; i < Index; ++i) {
    for (int k = 0; k < 2; ++k) {
      start = FFilter.find('|', start);
      if (start == std::string::npos) return {};
      ++start;
    }
  }
  return FFilter.substr(start, FFilter.find('|', start) - start);
}

std::string TOpenVistrelDialog::PatternOf(int Index) const {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t bar = FFilter.find('|', start);
    parts.push_back(FFilter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  const size_t k = size_t(Index) * 2 - 1;
  return Index >= 1 && k < parts.size() ? parts[k] : std::string();
}

void TOpenVistrelDialog::SelectFiles(const std::string& Folder, const std::vector<std::string>& Names) {
  FFolder = Folder;
  FSelected.clear();
  for (const std::string& n : Names) {
    if (n.empty()) continue;
    std::filesystem::path p(n);
    FSelected.push_back(p.is_absolute() || Folder.empty() ? n : (std::filesystem::path(Folder) / p).string());
  }
  FTyped = Names.empty() ? std::string() : std::filesystem::path(Names.front()).filename().string();
  DoSelectionChange();
}

void TOpenVistrelDialog::ChangeFolder(const std::string& Folder) {
  FFolder = Folder;
  DoFolderChange();
}

void TOpenVistrelDialog::ChangeFilterIndex(int Index) {
  FCurPattern = PatternOf(Index);
  if (Index != FCurFilterIndex) {
    FCurFilterIndex = Index;
    DoTypeChange();
  }
}

bool TOpenVistrelDialog::DoCanClose() {
  bool can = true;
  if (OnCanClose) OnCanClose(this, can);
  return can;
}

bool TOpenVistrelDialog::Execute() {
  if (FAutoSetFilter) FFilter = BuildFilter();
  PreviewCheck->SetVisible(true);
  return RunDialog(false);
}

bool TOpenVistrelDialog::RunDialog(bool Save) {
  Files.clear();
  // Saving, the type shown is the one of the name's extension.
  int startIndex = FFilterIndex;
  if (const std::string ext = ExtOf(FFileName); Save && !PatternHasExt(PatternOf(startIndex), ext))
    for (int i = 1; !PatternOf(i).empty(); ++i)
      if (PatternHasExt(PatternOf(i), ext)) {
        startIndex = i;
        break;
      }
  FCurFilterIndex = startIndex;
  FCurPattern = PatternOf(startIndex);
  FSelected.clear();
  if (!FFileName.empty()) FSelected.push_back(FFileName);
  FTyped = std::filesystem::path(FFileName).filename().string();
  FFolder = FInitialDir;
  FShowing = true;
  DoShow();
  bool ok = false;
  const bool scripted = HasModalAnswer() || HeadlessPlatform();
  for (bool first = true;; first = false) {
    int res = mrCancel;
    bool asked = false;
    try {
      if (scripted) {
        TModalRequest r;
        r.Kind = Save ? mkSaveFile : mkOpenFile;
        r.Caption = FTitle.empty() ? (Save ? "Save As" : "Open") : FTitle;
        r.Text = FFilter;
        r.Value = FFileName;
        r.Dialog = this;
        if (first) ShowStartingFile();
        res = RunModal(r);
        // An answerer that only set the name selects it.
        if (res == mrOk && r.Value != FFileName && !r.Value.empty()) SelectFiles(FFolder, {r.Value});
      } else {
        TAskingFileDialog dlg(QString::fromStdString(FTitle), QString::fromStdString(FInitialDir));
        dlg.setOption(QFileDialog::DontUseNativeDialog, true);
        dlg.setAcceptMode(Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dlg.setFileMode(Save                             ? QFileDialog::AnyFile
                        : (Options & ofAllowMultiSelect) ? QFileDialog::ExistingFiles
                                                         : QFileDialog::ExistingFile);
        QStringList filters;
        for (int i = 1; !PatternOf(i).empty(); ++i) {
          QString pat = QString::fromStdString(PatternOf(i));
          pat.replace(';', ' ');
          filters << QString::fromStdString(DescriptionOf(i)) + " (" + pat + ")";
        }
        dlg.setNameFilters(filters);
        if (startIndex >= 1 && startIndex <= filters.size()) dlg.selectNameFilter(filters[startIndex - 1]);
        if (!FFileName.empty()) dlg.selectFile(QString::fromStdString(FFileName));
        // The files selected however the user selected them (clicked, arrowed, typed in the
        // name box, where a typed name is the one chosen); folders are no files.
        auto chosen = [&dlg] {
          std::vector<std::string> names;
          for (const QString& s : dlg.selectedFiles()) {
            const QFileInfo fi(s);
            if (!fi.isDir()) names.push_back(fi.absoluteFilePath().toStdString());
          }
          return names;
        };
        // The panel follows them; the start is the file the dialog came up on.
        std::vector<std::string> followed = chosen();
        auto follow = [this, &dlg, &followed, chosen] {
          std::vector<std::string> names = chosen();
          if (names == followed) return;
          followed = names;
          SelectFiles(dlg.directory().absolutePath().toStdString(), names);
        };
        std::vector<QMetaObject::Connection> following{QObject::connect(&dlg, &QFileDialog::currentChanged, follow)};
        if (auto* list = dlg.findChild<QTreeView*>("treeView"); list && list->selectionModel())
          following.push_back(QObject::connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, follow));
        if (auto* edit = dlg.findChild<QLineEdit*>("fileNameEdit"))
          following.push_back(QObject::connect(edit, &QLineEdit::textChanged, follow));
        // The folder listed, however the user got there. A folder typed in the name box took
        // the user into it: its name is no file's, so the box goes back to the name being saved
        // (empty to open), and the name list left open and empty over the type box goes.
        QString listed = dlg.directory().absolutePath();
        if (auto* model = dlg.findChild<QFileSystemModel*>())
          QObject::connect(model, &QFileSystemModel::rootPathChanged, &dlg,
                           [this, &dlg, &listed, Save](const QString& d) {
            const QString from = std::exchange(listed, QDir(d).absolutePath());
            if (!dlg.isVisible()) return;
            if (QDir(QString::fromStdString(FFolder)) != QDir(listed)) ChangeFolder(listed.toStdString());
            auto* edit = dlg.findChild<QLineEdit*>("fileNameEdit");
            if (!edit) return;
            const QString typed = edit->text().trimmed();
            if (!typed.isEmpty() && QDir::cleanPath(QDir(from).absoluteFilePath(typed)) == listed)
              edit->setText(Save ? QFileInfo(QString::fromStdString(FFileName)).fileName() : QString());
            QTimer::singleShot(0, edit, [edit] {
              if (edit->completer() && edit->completer()->popup()) edit->completer()->popup()->hide();
            });
          });
        QObject::connect(&dlg, &QFileDialog::filterSelected, [this, &dlg, filters, Save](const QString& f) {
          // The typed name follows the type in the save dialog.
          auto* edit = dlg.findChild<QLineEdit*>("fileNameEdit");
          if (Save && edit) FTyped = edit->text().toStdString();
          ChangeFilterIndex(int(filters.indexOf(f)) + 1);
          if (Save && edit) edit->setText(QString::fromStdString(FTyped));
        });
        // The preview panel right of the standard controls, the strip below them. They go back
        // to no parent before the dialog is destroyed: they belong to this component.
        QWidget* panel = PicturePanel->Widget();
        QWidget* strip = InfoPanel->Widget();
        if (auto* grid = qobject_cast<QGridLayout*>(dlg.layout())) {
          const int rows = grid->rowCount(), cols = grid->columnCount();
          // Sizes from the labels' font: the panel as wide as its longest line, as tall as a
          // small picture and its three lines; the strip two lines and the buttons high.
          const int lh = LineHeight();
          if (FPreviewEnabled) {
            TCanvas* c = PicLabel2->Canvas();
            c->SetFont(PicLabel2->Font());
            const TSize colours = c->TextExtent("16777216 " + VLWordGet(58, FMsgLanguage) + " (24 bit)");
            const int tools = ZoomCombo->Widget()->sizeHint().width() + 2 * (kGlyphSize + 7) + 2 * kGap;
            const int w = std::max({169, colours.cx + 2 * kBorder, tools + 2 * kBorder});
            panel->setMinimumSize(w, 2 * kBorder + 3 * lh + ZoomCombo->Widget()->sizeHint().height() + 100);
            panel->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            panel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
            grid->addWidget(panel, 0, cols, rows, 1);
            panel->show();
          }
          // Never narrower than its buttons, so they stay in at the dialog's least size.
          int least = kBorder, high = 0;
          for (const TControl* c : {static_cast<TControl*>(PreviewCheck), static_cast<TControl*>(AdvancedButton)}) {
            if (!c->Visible()) continue;
            least += StripButtonSize(c).width() + kGap;
            high = std::max(high, StripButtonSize(c).height());
          }
          strip->setMinimumSize(least + kBorder, 2 * kBorder + std::max(2 * lh, high));
          strip->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
          strip->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
          grid->addWidget(strip, rows, 0, 1, cols + 1);
          strip->show();
        }
        // The size a desktop wants, within the screen.
        QSize size(FPreviewEnabled ? 1040 : 860, 560);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
          const QRect room = screen->availableGeometry();
          size = size.boundedTo(QSize(room.width() - 40, room.height() - 60));
        }
        dlg.resize(size.expandedTo(dlg.minimumSizeHint()));
        // The size, type and date columns as wide as what they show, once a folder is listed.
        if (auto* tree = dlg.findChild<QTreeView*>("treeView"))
          if (auto* model = dlg.findChild<QFileSystemModel*>())
            QObject::connect(model, &QFileSystemModel::directoryLoaded, tree, [tree] {
              QTimer::singleShot(0, tree, [tree] {
                for (int c = 1; c < tree->header()->count(); ++c) tree->resizeColumnToContents(c);
              });
            });
        // The choice is asked about while the dialog is up; an error ends it.
        std::exception_ptr failed;
        dlg.CanAccept = [this, &dlg, &failed, &asked] {
          FSelected.clear();
          for (const QString& s : dlg.selectedFiles()) FSelected.push_back(s.toStdString());
          if (FSelected.empty()) return true;
          Files = FSelected;
          try {
            asked = DoCanClose();
          } catch (...) {
            failed = std::current_exception();
            return true;
          }
          if (!asked) Files.clear();
          return asked;
        };
        if (first) QTimer::singleShot(0, &dlg, [this] { ShowStartingFile(); });
        res = dlg.exec() == QDialog::Accepted ? mrOk : mrCancel;
        // Nothing of the dialog's own teardown reaches the panel.
        for (const QMetaObject::Connection& c : following) QObject::disconnect(c);
        dlg.CanAccept = nullptr;
        for (QWidget* w : {panel, strip}) {
          w->hide();
          w->setParent(nullptr);
        }
        if (failed) std::rethrow_exception(failed);
      }
    } catch (...) {
      FShowing = false;
      DoClose();
      throw;
    }
    if (res != mrOk || FSelected.empty()) break;
    Files = FSelected;
    const bool can = asked || DoCanClose();
    if (!can) {
      Files.clear();
      continue;  // the dialog stays up
    }
    FFileName = Files.front();
    FFilterIndex = FCurFilterIndex;
    ok = true;
    break;
  }
  FShowing = false;
  DoClose();
  return ok;
}

// The file the dialog starts on is previewed as a selected one; the user selected nothing yet.
void TOpenVistrelDialog::ShowStartingFile() {
  if (!FPreviewEnabled || FSelected.empty()) return;
  const TNotifyEvent event = OnSelectionChange;
  OnSelectionChange = nullptr;
  try {
    DoSelectionChange();
  } catch (...) {
    OnSelectionChange = event;
    throw;
  }
  OnSelectionChange = event;
}

void TOpenVistrelDialog::DoShow() {
  ApplyLanguage();
  ReadErrorLabel->SetVisible(false);
  if (FPreviewEnabled) {
    FView->SetBackground(clWhite);
    FView->SetCenter(true);
    ZoomCombo->SetItemIndex(0);
    PlayButton->SetDown(false);
    PlayButton->SetEnabled(false);
    FMView->SetPlaying(false);
  }
  TVLCommonDialog::DoShow();
}

void TOpenVistrelDialog::DoClose() {
  TVLCommonDialog::DoClose();
  FMView->SetPlaying(false);
  FMView->Clear();
  FView->Blank();
  ReadErrorLabel->SetVisible(false);
  // The previewed pictures are not kept for later.
  TBitmap::ReleaseFreedMemory();
}

void TOpenVistrelDialog::ApplyLanguage() {
  const std::string preview = VLWordGet(0, FMsgLanguage);
  PreviewCheck->SetCaption(preview);
  AdvancedButton->SetCaption(VLWordGet(45, FMsgLanguage) + "...");
  PreviewButton->SetHint(preview);
  LayoutInfoPanel();
  LayoutPicturePanel();
}

int TOpenVistrelDialog::LineHeight() {
  TCanvas* c = InfoLabel1->Canvas();
  c->SetFont(InfoLabel1->Font());
  return c->TextExtent("Ag").cy + 8;
}

void TOpenVistrelDialog::LayoutInfoPanel() {
  const int W = InfoPanel->ClientWidth();
  // The buttons from the right edge, the lines in the room left of them.
  int right = W - kBorder;
  for (TWinControl* c : {static_cast<TWinControl*>(PreviewCheck), static_cast<TWinControl*>(AdvancedButton)}) {
    if (!c->Visible()) continue;
    const QSize size = StripButtonSize(c);
    right -= size.width();
    c->SetBounds(right, kBorder, size.width(), size.height());
    right -= kGap;
  }
  const int lh = LineHeight(), lw = std::max(0, right - kBorder);
  InfoLabel1->SetBounds(kBorder, kBorder, lw, lh);
  InfoLabel2->SetBounds(kBorder, kBorder + lh, lw, lh);
}

void TOpenVistrelDialog::LayoutPicturePanel() {
  const int W = PicturePanel->ClientWidth(), H = PicturePanel->ClientHeight();
  const QSize combo = ZoomCombo->Widget()->sizeHint();
  const int rowH = std::max({21, combo.height(), kGlyphSize + 6});
  int x = kBorder;
  ZoomCombo->SetBounds(x, 5, std::max(50, combo.width()), rowH);
  x += ZoomCombo->Width() + kGap;
  for (TSpeedButton* b : {PreviewButton, PlayButton}) {
    b->SetBounds(x, 5, std::max(23, kGlyphSize + 7), rowH);
    x += b->Width() + 2;
  }
  const int lh = LineHeight();
  const int viewTop = 5 + rowH + 5, linesTop = std::max(viewTop, H - kBorder - 3 * lh);
  const int vw = std::max(0, W - 2 * kBorder), vh = std::max(0, linesTop - kGap - viewTop);
  FView->SetBounds(kBorder, viewTop, vw, vh);
  FMView->SetBounds(kBorder, viewTop, vw, vh);
  ReadErrorLabel->SetBounds(kBorder + 2, viewTop + 2, std::max(0, vw - 4), std::max(0, vh - 4));
  ProgressBar->SetBounds(kBorder, viewTop + std::max(0, vh - 19) / 2, vw, 19);
  TLabel* lines[3] = {PicLabel1, PicLabel2, PicLabel3};
  for (int i = 0; i < 3; ++i) lines[i]->SetBounds(kBorder, linesTop + i * lh, vw, lh);
}

void TOpenVistrelDialog::ShowUnreadable() {
  ShowInfo(nullptr);
  PreviewButton->SetEnabled(false);
  PlayButton->SetDown(false);
  PlayButton->SetEnabled(false);
  FMView->SetPlaying(false);
  FMView->Clear();
  FMView->SetVisible(false);
  FView->Blank();
  FView->SetVisible(true);
  ReadErrorLabel->SetCaption(kUnreadable);
  ReadErrorLabel->SetVisible(true);
  ReadErrorLabel->BringToFront();
}

void TOpenVistrelDialog::ShowInfo(const TIOParamsVals* P) {
  if (!P) {
    for (TLabel* l : {PicLabel1, PicLabel2, PicLabel3, InfoLabel1, InfoLabel2}) l->SetCaption("");
    return;
  }
  const int64_t W = P->Width, H = P->Height, S = P->SamplesPerPixel, B = P->BitsPerSample;
  std::string l1 = std::to_string(W) + " x " + std::to_string(H) + " pixel";
  if (FFrameCount > 1) l1 += " , " + std::to_string(FFrameCount) + " frames";
  PicLabel1->SetCaption(l1);
  PicLabel3->SetCaption(std::to_string(P->DpiX) + " x " + std::to_string(P->DpiY) + " dpi");
  const int64_t bits = S * B;
  PicLabel2->SetCaption(VLColorCountText(*P) + " " + VLWordGet(58, FMsgLanguage) + " (" + std::to_string(bits) +
                        " bit)");
  const int64_t b = (S == 1 && B == 1) ? 1 : 24;
  const int64_t M = ((W * b + 31) / 32) * 4 * H * int64_t(FFrameCount);
  InfoLabel2->SetCaption("File: " + KbText(FFileSize) + "   Mem: " + KbText(M));
  InfoLabel1->SetCaption(VLFormatDescription(*P));
}

void TOpenVistrelDialog::DoSelectionChange() {
  if (FBusy) return;
  if (!FPreviewEnabled) {
    if (OnSelectionChange) OnSelectionChange(this);
    return;
  }
  FBusy = true;
  const std::string name = FileName();
  ReadErrorLabel->SetVisible(false);
  bool valid = false, readable = true;
  try {
    std::error_code ec;
    valid = !name.empty() && std::filesystem::is_regular_file(name, ec);
    if (valid) {
      FFileSize = int64_t(std::filesystem::file_size(name, ec));
      if (ec) valid = false;
    }
    if (valid && PreviewCheck->Checked()) {
      FView->SetBackground(clWhite);
      FView->Blank();
      FMView->Clear();
      PlayButton->SetDown(false);
      const std::string ext = Lower(ExtOf(name));
      const bool multi = ext == ".avi" || (ext == ".gif" && TVLGIFImageCount(name) > 1) ||
                         (ext == ".tif" && TVLTIFFImageCount(name) >= 2);
      ProgressBar->SetPosition(0);
      ProgressBar->SetVisible(true);
      if (!multi) {
        PlayButton->SetEnabled(false);
        ZoomCombo->SetEnabled(true);
        FView->SetVisible(true);
        FMView->SetVisible(false);
        FIO->LoadFromFile(name);
        FFrameCount = 1;
        readable = !FIO->Aborting();
        if (readable) ShowInfo(FIO->Params());
      } else {
        PlayButton->SetEnabled(true);
        ZoomCombo->SetEnabled(false);
        FMView->SetVisible(true);
        FView->SetVisible(false);
        FMIO->LoadFromFile(name);
        FFrameCount = FMIO->ParamsCount();
        readable = !FMIO->Aborting() && FMIO->ParamsCount() > 0;
        if (readable) {
          FMView->SelectImage(0);
          ShowInfo(FMIO->Params(0));
          if (AlwaysAnimate && (ext == ".avi" || ext == ".gif")) {
            PlayButton->SetDown(true);
            FMView->SetPlaying(true);
          }
        }
      }
      ProgressBar->SetVisible(false);
      ZoomCombo->SetItemIndex(0);
      ApplyZoom();
      PreviewButton->SetEnabled(true);
    } else if (valid) {
      FIO->ParamsFromFile(name);
      FFrameCount = 1;
      readable = !FIO->Aborting() && FIO->Params()->FileType != 0;
      if (readable) ShowInfo(FIO->Params());
    }
  } catch (...) {
    readable = false;
  }
  if (!valid) {
    ShowInfo(nullptr);
    PreviewButton->SetEnabled(false);
    FView->Blank();
  } else if (!readable) {
    ProgressBar->SetVisible(false);
    ShowUnreadable();
  }
  FBusy = false;
  if (OnSelectionChange) OnSelectionChange(this);
}

void TOpenVistrelDialog::ApplyZoom() {
  const int i = ZoomCombo->ItemIndex();
  if (i < 0) return;
  if (i == 0) FView->Fit();
  else FView->SetZoom(std::stoi(ZoomCombo->Items()->Items()[size_t(i)]));
}

void TOpenVistrelDialog::PreviewCheckClick(TObject*) {
  if (PreviewCheck->Checked()) {
    DoSelectionChange();
    return;
  }
  ShowInfo(nullptr);
  ReadErrorLabel->SetVisible(false);
  FView->SetBackground(clWhite);
  FView->Blank();
  FView->SetZoom(100);
  FMView->Clear();
}

void TOpenVistrelDialog::PlayClick(TObject*) {
  FMView->SetPlaying(PlayButton->Down());
  PreviewButton->SetEnabled(!FMView->Playing());
}

void TOpenVistrelDialog::ShowPreviewWindow() {
  TForm* form = new TForm(this);
  form->SetName("PreviewForm");
  form->SetCaption(VLWordGet(0, FMsgLanguage) + ": " + FileName());
  TVistrelView* v = new TVistrelView(form);
  v->SetName("VistrelView");
  v->SetParent(form);
  v->SetAlign(alClient);
  if (FView->Visible()) v->Assign(FView);
  else if (FMView->Visible() && FMView->SelectedImage() >= 0) v->Bitmap()->Assign(FMView->GetBitmap());
  v->SetBackground(clWhite);
  v->SetBackgroundStyle(vlbsChessboard);
  v->SetCenter(true);
  v->SetMouseInteract(miZoom | miScroll);
  form->SetBorderStyle(bsSizeToolWin);
  form->SetPosition(poScreenCenter);
  form->SetKeyPreview(true);
  form->OnKeyPress = [form](TObject*, char& key) {
    if (key == 27) form->Close();
  };
  // The keyboard goes to the window as it comes up, so Escape closes it at once.
  form->OnShow = [form, v](TObject*) {
    form->BringToFront();
    v->SetFocus();
  };
  // As large as the picture, within the screen's work area with the title bar and borders.
  QRect room(0, 0, Screen->Width(), Screen->Height());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) room = screen->availableGeometry();
  const int w = v->Bitmap()->Width(), h = v->Bitmap()->Height();
  if (w <= 100) form->SetWidth(100);
  else form->SetClientWidth(std::min(w, std::max(100, room.width() - 40)));
  if (h <= 100) form->SetHeight(100);
  else form->SetClientHeight(std::min(h, std::max(100, room.height() - 60)));
  form->ShowModal();
  delete form;
  TBitmap::ReleaseFreedMemory();
}

// ---------------------------------------------------------------------------------------------

TSaveVistrelDialog::TSaveVistrelDialog(TComponent* AOwner) : TOpenVistrelDialog(AOwner) {
  FFilter =
      "JPEG Bitmap (JPG)|*.jpg|CompuServe Bitmap (GIF)|*.gif|TIFF Bitmap (TIF)|*.tif|PaintBrush (PCX)|*.pcx|"
      "Portable Network Graphics (PNG)|*.png|Windows Bitmap (BMP)|*.bmp|OS/2 Bitmap (BMP)|*.bmp";
  FSaved = new TIOParamsVals(nullptr);
  AdvancedButton->OnClick = [this](TObject* s) {
    AdvancedClick(s);
    // Back in the name box, so that Enter saves as it did before.
    if (auto* edit = AdvancedButton->Widget()->window()->findChild<QLineEdit*>("fileNameEdit"))
      if (edit->isVisible()) edit->setFocus(Qt::OtherFocusReason);
  };
}

TSaveVistrelDialog::~TSaveVistrelDialog() { delete FSaved; }

void TSaveVistrelDialog::SetAttachedVistrelIO(TComponent* Value) {
  if (!Value || (!dynamic_cast<TVistrelIO*>(Value) && !dynamic_cast<TVistrelMIO*>(Value))) return;
  if (FAttached) FAttached->RemoveFreeNotification(this);
  FAttached = Value;
  FAttached->FreeNotification(this);
}

void TSaveVistrelDialog::Notification(TComponent* AComponent, TOperation Operation) {
  TOpenVistrelDialog::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FAttached) FAttached = nullptr;
}

bool TSaveVistrelDialog::Execute() {
  FPreviewEnabled = (ExOptions & sdShowPreview) != 0;
  if (FAutoSetFilter) FFilter = BuildFilter();
  AdvancedButton->SetVisible((ExOptions & sdShowAdvanced) != 0);
  PreviewCheck->SetVisible((ExOptions & sdShowPreview) != 0);
  if (auto* io = dynamic_cast<TVistrelIO*>(FAttached)) {
    FSaved->Assign(io->Params());
  } else if (auto* mio = dynamic_cast<TVistrelMIO*>(FAttached)) {
    if (mio->ParamsCount() == 0) return false;
    FSaved->Assign(mio->Params(0));
  }
  const bool ok = RunDialog(true);
  if (!ok) {
    if (auto* io = dynamic_cast<TVistrelIO*>(FAttached)) io->Params()->Assign(FSaved);
    else if (auto* mio = dynamic_cast<TVistrelMIO*>(FAttached); mio && mio->ParamsCount() > 0)
      mio->Params(0)->Assign(FSaved);
  }
  if (!FFileName.empty() && ExtOf(FFileName).empty()) FFileName += PatternExt(FCurPattern);
  return ok;
}

uint8_t TSaveVistrelDialog::AdvancedPage() const {
  static const struct {
    const char* ext;
    uint8_t page;
  } pages[] = {{"jpg", iopJPEG}, {"jpeg", iopJPEG}, {"jpe", iopJPEG}, {"tif", iopTIFF}, {"tiff", iopTIFF},
               {"gif", iopGIF},  {"bmp", iopBMP},   {"pcx", iopPCX},  {"png", iopPNG}};
  auto pageOf = [](std::string e) -> uint8_t {
    if (!e.empty() && e[0] == '.') e.erase(0, 1);
    for (const auto& p : pages)
      if (Lower(e) == p.ext) return p.page;
    return 0;
  };
  // A name without extension is saved with the chosen type's.
  std::string ext = ExtOf(FileName());
  if (ext.empty()) ext = PatternExt(FCurPattern);
  if (const uint8_t page = pageOf(ext)) return page;
  return pageOf(FDefaultExt);
}

void TSaveVistrelDialog::AdvancedClick(TObject*) {
  const uint8_t page = AdvancedPage();
  if (!page) return;
  if (auto* io = dynamic_cast<TVistrelIO*>(FAttached)) io->DoPreviews(page);
  else if (auto* mio = dynamic_cast<TVistrelMIO*>(FAttached)) mio->DoPreviews(0, page);
}

// Advanced is there to press only for a type that has settings.
void TSaveVistrelDialog::DoShow() {
  TOpenVistrelDialog::DoShow();
  AdvancedButton->SetEnabled(AdvancedPage() != 0);
}

void TSaveVistrelDialog::DoSelectionChange() {
  TOpenVistrelDialog::DoSelectionChange();
  AdvancedButton->SetEnabled(AdvancedPage() != 0);
}

void TSaveVistrelDialog::UpdateExtension() {
  std::string name = std::filesystem::path(FTyped).filename().string();
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  const std::string ext = PatternExt(FCurPattern);
  if (name.empty()) return;
  name += ext;
  FTyped = name;
  if (!FSelected.empty()) {
    const std::filesystem::path p(FSelected.front());
    FSelected.front() = (p.has_parent_path() ? (p.parent_path() / name) : std::filesystem::path(name)).string();
  } else {
    FSelected.push_back(FFolder.empty() ? name : (std::filesystem::path(FFolder) / name).string());
  }
}

void TSaveVistrelDialog::DoTypeChange() {
  UpdateExtension();
  AdvancedButton->SetEnabled(AdvancedPage() != 0);
  TOpenVistrelDialog::DoTypeChange();
}

}  // namespace vistrel
