#include "Raderaver.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QWindow>

#include "Cp932.h"
#include "LabeledEdit.h"
#include "PathName.h"
#include "PreviewImage.h"

using sheetpeek::TImage;
using sheetpeek::TLabeledEdit;
using sheetpeek::TPanel;

namespace {

// Shown in the picture panel when the drawing carries no picture.
const QString kNoImageText = QStringLiteral("イメージデータなし");

// Size of the picture control until a drawing sets its own.
constexpr int kSurfaceWidth = 256;
constexpr int kSurfaceHeight = 181;

QString FromCp932(const std::string& bytes) {
  return QString::fromUtf8(sheetpeek::Cp932ToUtf8(bytes));
}

QString FromFileName(const std::string& bytes) {
  return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

QFont FontOf(const QStringList& families, int pixelSize) {
  QFont font(families.front());
  font.setFamilies(families);
  font.setPixelSize(pixelSize);
  return font;
}

// Headings keep their place and size themselves to their text, never narrower than laid out:
// the laid-out widths fit the designed face, and a fallback face must not lose a glyph.
void PlaceHeading(QLabel* label, int left, int top, int width, int height) {
  label->setTextFormat(Qt::PlainText);
  const QSize text = label->sizeHint();
  label->setGeometry(left, top, qMax(width, text.width()), qMax(height, text.height()));
}

// The proportional face, asked for by its own name first; fontconfig alone would pick a
// Latin face for that name, so free Japanese faces follow explicitly.
QFont ProportionalFont(int pixelSize) {
  return FontOf(
      {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")},
      pixelSize);
}

}  // namespace

QFont TfrmRaderAver::WindowFont() {
  return ProportionalFont(12);
}

QFont TfrmRaderAver::FixedFont() {
  return FontOf(
      {QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP")},
      15);
}

QFont TfrmRaderAver::HeadingFont() {
  return ProportionalFont(13);
}

TfrmRaderAver::TfrmRaderAver(std::vector<std::string> arguments, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      arguments_(std::move(arguments)) {
  setObjectName(QStringLiteral("frmRaderAver"));
  setWindowTitle(QStringLiteral("図面情報"));
  setFont(WindowFont());
  QPalette pal = palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Button));
  setPalette(pal);
  setWindowIcon(QIcon(QStringLiteral(":/icons/sheetpeek-32.png")));

  CreateControls();
  Header.reset();
  setAcceptDrops(true);
  FormCreate();
  CreateBrowsingActions();
}

TfrmRaderAver::~TfrmRaderAver() {
  FormDestroy();
}

TLabeledEdit* TfrmRaderAver::AddField(QWidget* parent, const char* name, int left, int top, int width,
                                      int height, const QString& label, const QFont& font) {
  auto* field = new TLabeledEdit(parent);
  field->setObjectName(QString::fromLatin1(name));
  field->EditLabel()->setObjectName(QString::fromLatin1(name) + QStringLiteral("Label"));
  field->setFont(font);
  field->SetBounds(left, top, width, height);
  field->SetLabelText(label);
  return field;
}

void TfrmRaderAver::CreateControls() {
  const QFont fixed = FixedFont();
  const QFont window = WindowFont();

  ClientArea = new QWidget(this);
  ClientArea->setObjectName(QStringLiteral("ClientArea"));
  ClientArea->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(ClientArea);

  Panel2 = new TPanel(ClientArea, TPanel::Bevel::Raised);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Panel2->setGeometry(12, 33, 301, 169);
  lbleditDate = AddField(Panel2, "lbleditDate", 84, 12, 209, 23, QStringLiteral("作成日時"), fixed);
  lbleditUpdate = AddField(Panel2, "lbleditUpdate", 84, 37, 209, 23, QStringLiteral("更新日時"), fixed);
  lbleditElms = AddField(Panel2, "lbleditElms", 84, 62, 209, 23, QStringLiteral(" 要素数 "), fixed);
  lbleditSize = AddField(Panel2, "lbleditSize", 84, 88, 210, 23, QStringLiteral("図面サイズ"), fixed);
  lbleditScal = AddField(Panel2, "lbleditScal", 84, 113, 209, 23, QStringLiteral("図面尺度"), fixed);
  lbleditFiletype =
      AddField(Panel2, "lbleditFiletype", 84, 139, 209, 23, QStringLiteral("ファイルタイプ"), fixed);

  Panel1 = new TPanel(ClientArea, TPanel::Bevel::Raised);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(319, 5, 321, 429);
  Label1 = new QLabel(QStringLiteral("項　目"), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setFont(HeadingFont());
  PlaceHeading(Label1, 37, 8, 35, 13);
  Label2 = new QLabel(QStringLiteral("内　　容"), Panel1);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setFont(HeadingFont());
  PlaceHeading(Label2, 165, 8, 44, 13);
  for (int n = 1; n <= sheetpeek::COrvicHeader::kItemCount; ++n) {
    // Item 18 stands one pixel lower than the even step would put it.
    const int top = n <= 17 ? 23 + 20 * (n - 1) : (n == 18 ? 364 : 383 + 20 * (n - 19));
    const std::string name = "lbleditItem" + std::to_string(n);
    itemFields_[static_cast<std::size_t>(n - 1)] =
        AddField(Panel1, name.c_str(), 85, top, 212, 20, QString(), window);
  }

  lbleditFolder = AddField(ClientArea, "lbleditFolder", 55, 441, 285, 23, QStringLiteral("フォルダ"), fixed);
  lbleditFolder->setVisible(false);
  lbleditFile = AddField(ClientArea, "lbleditFile", 95, 5, 218, 23, QStringLiteral("ファイル名"), fixed);

  PnlImage = new TPanel(ClientArea, TPanel::Bevel::Lowered);
  PnlImage->setObjectName(QStringLiteral("PnlImage"));
  PnlImage->setGeometry(7, 204, 305, 229);
  PnlImage->SetCaption(QStringLiteral("PnlImage"));
  ImageOrvic = new TImage(PnlImage);
  ImageOrvic->setObjectName(QStringLiteral("ImageOrvic"));
  ImageOrvic->setGeometry(77, 44, 160, 149);

  btnClose = new QPushButton(QStringLiteral("閉じる"), ClientArea);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  btnClose->setGeometry(563, 437, 75, 25);
  btnClose->setAutoDefault(false);
  connect(btnClose, &QPushButton::clicked, this, &TfrmRaderAver::btnCloseClick);

  menuBar()->setObjectName(QStringLiteral("MainMenu1"));
  F1 = menuBar()->addMenu(QStringLiteral("ファイル（&F)"));
  F1->setObjectName(QStringLiteral("F1"));
  MMOpenfile = F1->addAction(QStringLiteral("開く(&O)"));
  MMOpenfile->setObjectName(QStringLiteral("MMOpenfile"));
  connect(MMOpenfile, &QAction::triggered, this, &TfrmRaderAver::MMOpenfileClick);
  MMEnd = F1->addAction(QStringLiteral("終了(&X)"));
  MMEnd->setObjectName(QStringLiteral("MMEnd"));
  connect(MMEnd, &QAction::triggered, this, &TfrmRaderAver::MMEndClick);

  // The window takes the client area's fixed size plus the menu bar, and no other.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmRaderAver::FormCreate() {
  ItemEdits = itemFields_;
  for (TLabeledEdit* edit : ItemEdits) edit->SetLabelText(QString());
  ImageOrvic->resize(kSurfaceWidth, kSurfaceHeight);
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
  lbleditFolder->SetFieldText(FromFileName(h.Folder));
  lbleditFile->SetFieldText(FromFileName(h.FileName));
  lbleditDate->SetFieldText(FromCp932(h.DateText(h.CreateDate)));
  lbleditUpdate->SetFieldText(FromCp932(h.DateText(h.UpdateDate)));
  lbleditElms->SetFieldText(FromCp932(h.ElementCountText()));
  lbleditSize->SetFieldText(FromCp932(h.SizeText));
  lbleditScal->SetFieldText(FromCp932(h.ScaleText));
  lbleditFiletype->SetFieldText(FromCp932(h.FileKindText()));

  for (std::size_t i = 0; i < ItemEdits.size(); ++i) {
    ItemEdits[i]->SetLabelText(FromCp932(h.NoteLabel[i]));
    ItemEdits[i]->SetFieldText(FromCp932(h.NoteText[i]));
  }

  if (h.HasImage && h.ImageBitmap) {
    ImageOrvic->setVisible(true);
    ImageOrvic->resize(h.ImageWidth, h.ImageHeight);
    // Unsigned halving of the panel's outer size minus the picture's.
    const std::uint32_t top =
        (static_cast<std::uint32_t>(PnlImage->height()) - static_cast<std::uint32_t>(h.ImageHeight)) >> 1;
    const std::uint32_t left =
        (static_cast<std::uint32_t>(PnlImage->width()) - static_cast<std::uint32_t>(h.ImageWidth)) >> 1;
    ImageOrvic->move(static_cast<int>(left), static_cast<int>(top));
    ImageOrvic->DrawPicture(sheetpeek::PreviewToImage(*h.ImageBitmap));
    PnlImage->SetCaption(QString());
  } else {
    ImageOrvic->setVisible(false);
    PnlImage->SetCaption(kNoImageText);
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
  dialog.setNameFilter(QStringLiteral("Orvic (*.cad)"));
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
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  CentreOnScreen();
  FormShow();
  // A program's first window takes the focus when it opens; ask for it, since without a
  // window manager nobody else gives it and the first activation would never come.
  activateWindow();
}

void TfrmRaderAver::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
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
