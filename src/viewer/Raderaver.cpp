#include "Raderaver.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QHash>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <memory>

#include "Cp932.h"
#include "LabeledEdit.h"
#include "PathName.h"
#include "PreviewImage.h"
#include "sheetpeek-32.xpm"

using sheetpeek::ControlId;
using sheetpeek::ControlKind;
using sheetpeek::ControlLayout;
using sheetpeek::TImage;
using sheetpeek::TLabeledEdit;
using sheetpeek::TPanel;

namespace {

QString FromCp932(const std::string& bytes) {
  return QString::fromUtf8(sheetpeek::Cp932ToUtf8(bytes));
}

QString FromFileName(const std::string& bytes) {
  return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// Whether fontconfig has a face of this family under any of its names (a face named in several
// languages answers to each, as Qt's matching does).
bool Installed(const QString& family) {
  static QHash<QString, bool> known;
  const auto it = known.constFind(family);
  if (it != known.constEnd()) return *it;
  const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> pattern(FcPatternCreate(), &FcPatternDestroy);
  const std::unique_ptr<FcObjectSet, decltype(&FcObjectSetDestroy)> objects(
      FcObjectSetBuild(FC_FAMILY, nullptr), &FcObjectSetDestroy);
  bool found = false;
  if (pattern && objects) {
    const QByteArray name = family.toUtf8();
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(name.constData()));
    const std::unique_ptr<FcFontSet, decltype(&FcFontSetDestroy)> fonts(
        FcFontList(nullptr, pattern.get(), objects.get()), &FcFontSetDestroy);
    found = fonts && fonts->nfont > 0;
  }
  known.insert(family, found);
  return found;
}

// The layout's face, else the first installed of the free Japanese faces (fontconfig alone
// would pick a Latin face for the layout's name). The installed face is asked for alone: for a
// family the system lacks, Qt searches fontconfig's fallbacks again for every size and script
// before it reaches the next name, and with more names than one it sorts fontconfig's fallbacks
// for every script up front. A character the face lacks still falls back, through fontconfig,
// when it is first met. With none installed, all names are asked for.
QFont FontOf(const sheetpeek::FontSpec& spec) {
  QStringList families = {QString::fromUtf8(spec.face)};
  if (spec.proportional) {
    families << QStringLiteral("IPAPGothic") << QStringLiteral("Noto Sans CJK JP");
  } else {
    families << QStringLiteral("IPAGothic") << QStringLiteral("Noto Sans Mono CJK JP");
  }
  const auto installed = std::find_if(families.cbegin(), families.cend(), Installed);
  if (installed != families.cend()) families = QStringList{*installed};
  QFont font(families.front());
  font.setFamilies(families);
  font.setPixelSize(spec.pixelHeight);
  return font;
}

// Compiled in as XPM: a picture read from a file or a resource goes through Qt's image reader,
// which first looks at every image plugin installed.
QIcon AppIcon() {
  return QIcon(QPixmap(sheetpeek_32_xpm));
}

QString Utf8(const char* text) {
  return QString::fromUtf8(text);
}

// Headings keep their place and size themselves to their text, never narrower than laid out:
// the laid-out widths fit the designed face, and a fallback face must not lose a glyph.
void PlaceHeading(QLabel* label, int left, int top, int width, int height) {
  label->setTextFormat(Qt::PlainText);
  const QSize text = label->sizeHint();
  label->setGeometry(left, top, qMax(width, text.width()), qMax(height, text.height()));
}

}  // namespace

QFont TfrmRaderAver::WindowFont() {
  return FontOf(sheetpeek::kWindowFont);
}

QFont TfrmRaderAver::FixedFont() {
  return FontOf(sheetpeek::kFixedFont);
}

QFont TfrmRaderAver::HeadingFont() {
  return FontOf(sheetpeek::kHeadingFont);
}

TfrmRaderAver::TfrmRaderAver(std::vector<std::string> arguments, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      arguments_(std::move(arguments)) {
  setObjectName(QStringLiteral("frmRaderAver"));
  setWindowTitle(Utf8(sheetpeek::kWindow.caption));
  setFont(WindowFont());
  QPalette pal = palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Button));
  setPalette(pal);
  setWindowIcon(AppIcon());

  // A field lays out its empty text in the application's font as it is made, before it takes
  // the window's; made under the window's font, no face is loaded for that alone. Dialogs and
  // menus keep the desktop's font.
  const QFont desktopFont = QApplication::font();
  QApplication::setFont(font());
  CreateControls();
  QApplication::setFont(desktopFont);
  Header.reset();
  setAcceptDrops(true);
  FormCreate();
  CreateBrowsingActions();
}

TfrmRaderAver::~TfrmRaderAver() {
  FormDestroy();
}

TLabeledEdit* TfrmRaderAver::Field(ControlId id) const {
  return qobject_cast<TLabeledEdit*>(Control(id));
}

QWidget* TfrmRaderAver::CreateControl(const ControlLayout& c, QWidget* parent) {
  const QString caption = Utf8(c.caption);
  switch (c.kind) {
    case ControlKind::Panel: {
      auto* panel = new TPanel(
          parent, c.bevel == sheetpeek::PanelBevel::Lowered ? TPanel::Bevel::Lowered : TPanel::Bevel::Raised);
      panel->setGeometry(c.left, c.top, c.width, c.height);
      if (!caption.isEmpty()) panel->SetCaption(caption);
      return panel;
    }
    case ControlKind::LabeledEdit: {
      auto* field = new TLabeledEdit(parent);
      field->EditLabel()->setObjectName(QString::fromLatin1(c.name) + QStringLiteral("Label"));
      field->setFont(FontOf(sheetpeek::FontOf(c.font)));
      field->SetBounds(c.left, c.top, c.width, c.height);
      field->SetLabelText(caption);
      if (!c.visible) field->setVisible(false);
      return field;
    }
    case ControlKind::Label: {
      auto* label = new QLabel(caption, parent);
      label->setFont(FontOf(sheetpeek::FontOf(c.font)));
      PlaceHeading(label, c.left, c.top, c.width, c.height);
      return label;
    }
    case ControlKind::Image: {
      auto* image = new TImage(parent);
      image->setGeometry(c.left, c.top, c.width, c.height);
      return image;
    }
    case ControlKind::Button: {
      auto* button = new QPushButton(caption, parent);
      button->setGeometry(c.left, c.top, c.width, c.height);
      button->setAutoDefault(false);
      return button;
    }
  }
  return nullptr;
}

void TfrmRaderAver::CreateControls() {
  auto* frame = new QVBoxLayout(this);
  frame->setContentsMargins(0, 0, 0, 0);
  frame->setSpacing(0);
  MainMenu1 = new QMenuBar(this);
  MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
  frame->setMenuBar(MainMenu1);
  clientArea_ = new QWidget(this);
  clientArea_->setObjectName(QStringLiteral("ClientArea"));
  clientArea_->setFixedSize(sheetpeek::kWindow.clientWidth, sheetpeek::kWindow.clientHeight);
  frame->addWidget(clientArea_);

  for (const ControlLayout& c : sheetpeek::kWindowLayout) {
    QWidget* parent =
        c.parent == sheetpeek::kClientArea ? clientArea_ : controls_[static_cast<std::size_t>(c.parent)];
    QWidget* control = CreateControl(c, parent);
    control->setObjectName(QString::fromLatin1(c.name));
    controls_[sheetpeek::IndexOf(c.id)] = control;
  }
  PnlImage = static_cast<TPanel*>(Control(ControlId::PnlImage));
  ImageOrvic = static_cast<TImage*>(Control(ControlId::ImageOrvic));
  btnClose = static_cast<QPushButton*>(Control(ControlId::btnClose));
  connect(btnClose, &QPushButton::clicked, this, &TfrmRaderAver::btnCloseClick);

  F1 = MainMenu1->addMenu(Utf8(sheetpeek::kFileMenu.caption));
  F1->setObjectName(QString::fromLatin1(sheetpeek::kFileMenu.name));
  MMOpenfile = F1->addAction(Utf8(sheetpeek::kOpenItem.caption));
  MMOpenfile->setObjectName(QString::fromLatin1(sheetpeek::kOpenItem.name));
  connect(MMOpenfile, &QAction::triggered, this, &TfrmRaderAver::MMOpenfileClick);
  MMEnd = F1->addAction(Utf8(sheetpeek::kEndItem.caption));
  MMEnd->setObjectName(QString::fromLatin1(sheetpeek::kEndItem.name));
  connect(MMEnd, &QAction::triggered, this, &TfrmRaderAver::MMEndClick);

  // The window takes the client area's fixed size plus the menu bar, and no other.
  frame->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmRaderAver::FormCreate() {
  for (std::size_t i = 0; i < ItemEdits.size(); ++i)
    ItemEdits[i] = Field(sheetpeek::ItemControl(static_cast<int>(i) + 1));
  for (TLabeledEdit* edit : ItemEdits) edit->SetLabelText(QString());
  ImageOrvic->resize(sheetpeek::kSurfaceWidth, sheetpeek::kSurfaceHeight);
  ImageOrvic->FillSurface(palette().color(QPalette::Button));
}

void TfrmRaderAver::FormShow() {
  if (arguments_.empty()) return;
  const std::string& first = arguments_.front();
  if (!sheetpeek::HasDrawingExtension(first)) return;
  if (LoadDrawing(first)) ShowDrawingInfo();
}

void TfrmRaderAver::FormActivate() {
  ShowDrawingInfo();
}

void TfrmRaderAver::FormDestroy() {
  Header.reset();
}

bool TfrmRaderAver::LoadDrawing(const std::string& fileName) {
  // The old header goes first, so a file that does not open leaves none held.
  Header.reset();
  sheetpeek::LoadResult result = sheetpeek::LoadDrawingHeader(fileName);
  Header = std::move(result.header);
  return Header != nullptr && Header->ReadOk;
}

void TfrmRaderAver::ShowDrawingInfo() {
  if (!Header) return;
  const sheetpeek::COrvicHeader& h = *Header;
  NoteShown(h);
  for (const sheetpeek::ShownText& shown : sheetpeek::DrawingTexts(h)) {
    const QString text =
        shown.coding == sheetpeek::TextCoding::FileName ? FromFileName(shown.text) : FromCp932(shown.text);
    TLabeledEdit* field = Field(shown.control);
    if (shown.part == sheetpeek::TextPart::Label) {
      field->SetLabelText(text);
    } else {
      field->SetFieldText(text);
    }
  }

  if (h.HasImage && h.ImageBitmap) {
    ImageOrvic->setVisible(true);
    ImageOrvic->resize(h.ImageWidth, h.ImageHeight);
    const sheetpeek::PicturePlace place = sheetpeek::PreviewPlace(h.ImageWidth, h.ImageHeight);
    ImageOrvic->move(place.left, place.top);
    ImageOrvic->DrawPicture(*h.ImageBitmap);
    PnlImage->SetCaption(QString());
  } else {
    ImageOrvic->setVisible(false);
    PnlImage->SetCaption(Utf8(sheetpeek::kNoImageText));
  }
}

void TfrmRaderAver::WMDropFiles(const std::vector<std::string>& names) {
  if (names.empty()) return;
  const std::string& first = names.front();
  if (sheetpeek::HasDrawingExtension(first)) {
    LoadDrawing(first);
    ShowDrawingInfo();
  }
  BringToFront();
}

void TfrmRaderAver::BringToFront() {
  // A minimised window would take the drawing unseen: restore it before raising it.
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
  activateWindow();
  if (QWindow* handle = windowHandle()) handle->requestActivate();
  emit BroughtToFront();
}

void TfrmRaderAver::MMOpenfileClick() {
  QFileDialog dialog(this);
  dialog.setObjectName(QStringLiteral("OpenDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // Any name may be typed, one that does not exist included; loading decides.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(Utf8(sheetpeek::kOpenFilterName));
  if (dialog.exec() != QDialog::Accepted) return;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return;
  const QByteArray name = QFile::encodeName(chosen.front());
  LoadDrawing(std::string(name.constData(), static_cast<std::size_t>(name.size())));
  ShowDrawingInfo();
}

void TfrmRaderAver::MMEndClick() {
  close();
}

void TfrmRaderAver::btnCloseClick() {
  close();
}

void TfrmRaderAver::CentreOnScreen() {
  const QScreen* target = screen();
  if (target == nullptr) return;
  QRect frame = frameGeometry();
  frame.moveCenter(target->geometry().center());
  move(frame.topLeft());
}

void TfrmRaderAver::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;
  shown_ = true;
  CentreOnScreen();
  FormShow();
  // A program's first window takes the focus when it opens; ask for it, since without a
  // window manager nobody else gives it and the first activation would never come.
  activateWindow();
}

void TfrmRaderAver::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Only the first activation counts; coming back from another program shows nothing anew.
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && !activated_) {
    activated_ = true;
    FormActivate();
  }
}

namespace {

// Local files of a drop, in drop order, as the file system spells them.
std::vector<std::string> LocalNames(const QMimeData* data) {
  std::vector<std::string> names;
  if (data == nullptr || !data->hasUrls()) return names;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    const QByteArray name = QFile::encodeName(url.toLocalFile());
    names.emplace_back(name.constData(), static_cast<std::size_t>(name.size()));
  }
  return names;
}

}  // namespace

void TfrmRaderAver::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TfrmRaderAver::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TfrmRaderAver::dropEvent(QDropEvent* event) {
  event->acceptProposedAction();
  WMDropFiles(LocalNames(event->mimeData()));
}
