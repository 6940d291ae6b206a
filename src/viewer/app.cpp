// The viewer's entry point. The first start opens the window; a later start hands its names
// to that window and ends at once, without starting the GUI.
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "AppBoundary.h"
#include "HandoffBlock.h"
#include "LabeledEdit.h"
#include "Raderaver.h"
#include "RegisterMaker.h"
#include "SingleInstance.h"

namespace {

using sheetpeek::EnvFlag;
using sheetpeek::HandoffResult;
using sheetpeek::InstanceLock;
using sheetpeek::MessageBoxesWanted;
using sheetpeek::PrintMessageLine;
using sheetpeek::SheetpeekApplication;
using sheetpeek::ShowException;

const char kUsage[] =
    "Usage: sheetpeek [FILE.cad...]\n"
    "       sheetpeek --register FOLDER\n"
    "Shows the header and preview of an Orvic CAD drawing.\n"
    "Only one viewer runs at a time: a later start hands its names to the running\n"
    "window, which shows the first one, and ends at once.\n"
    "\n"
    "  --register FOLDER  write the drawing register (図面台帳.xlsx) of FOLDER and its\n"
    "              subfolders, asking where, and open it; no window, no hand-off\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n";

// Names go over as absolute paths, so the window, whose working folder differs, finds them.
// Only the working folder is put in front: the name's own bytes stay as they are.
std::vector<std::string> AbsoluteNames(const std::vector<std::string>& names) {
  std::error_code error;
  const std::string cwd = std::filesystem::current_path(error).native();
  std::vector<std::string> absolute;
  absolute.reserve(names.size());
  for (const std::string& name : names) {
    if (name.empty() || name.front() == '/' || error || cwd.empty()) {
      absolute.push_back(name);
    } else if (cwd.back() == '/') {
      absolute.push_back(cwd + name);
    } else {
      absolute.push_back(cwd + '/' + name);
    }
  }
  return absolute;
}

int ReportNoWindow(int& argc, char** argv) {
  const QString message = QStringLiteral("Open失敗しました。");
  std::fprintf(stderr, "%s\n", message.toUtf8().constData());
  std::fflush(stderr);
  if (MessageBoxesWanted(qgetenv("QT_QPA_PLATFORM"))) {
    SheetpeekApplication app(argc, argv);  // with Qt's translation for the OK button
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("エラー"), message, QMessageBox::Ok);
    box.exec();
  }
  return 1;
}

// Test hook: with SHEETPEEK_TEST_TRACE naming a file, the viewer appends a line once its
// loop runs ("ready") and one after each hand-off ("handoff", the number of names, then
// "raised" when the window was brought to the front and is now shown, not minimised, or
// "still" otherwise); each line ends with the folder and file name the window then shows,
// tab between them.
class Trace {
 public:
  Trace() {
    if (const char* path = std::getenv("SHEETPEEK_TEST_TRACE"); path != nullptr && path[0] != '\0')
      path_ = path;
  }
  void Ready(const TfrmRaderAver& window) const { Line(window, "ready"); }
  void Handoff(const TfrmRaderAver& window, std::size_t count, bool raised) const {
    Line(window, "handoff " + std::to_string(count) + (raised ? " raised" : " still"));
  }

 private:
  void Line(const TfrmRaderAver& window, const std::string& what) const {
    if (path_.empty()) return;
    auto shown = [&window](sheetpeek::ControlId id) { return window.Field(id)->text().toStdString(); };
    std::ofstream out(path_, std::ios::app | std::ios::binary);
    out << what << ' ' << shown(sheetpeek::ControlId::lbleditFolder) << '\t'
        << shown(sheetpeek::ControlId::lbleditFile) << '\n';
  }

  std::string path_;
};

// Qt aborts when it finds no display at all; this says why and ends cleanly instead.
bool NoDisplayAtAll(int argc, char** argv) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) return false;
  return qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
         qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
  (void)argc;
  (void)argv;
  return false;
#endif
}

int RunViewer(int& argc, char** argv, const QString& folder, InstanceLock* lock) {
  if (NoDisplayAtAll(argc, argv)) {
    std::fputs("sheetpeek: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n",
               stderr);
    return 1;
  }
  SheetpeekApplication app(argc, argv);
  const Trace trace;
  try {
    // Qt has taken its own options out of argv by now; the rest are ours, as raw bytes.
    std::vector<std::string> arguments(argv + 1, argv + argc);
    TfrmRaderAver frmRaderAver(std::move(arguments));

    bool raised = false;
    QObject::connect(&frmRaderAver, &TfrmRaderAver::BroughtToFront, [&raised] { raised = true; });
    sheetpeek::HandoffServer server([&](const std::vector<std::string>& names) {
      raised = false;
      frmRaderAver.WMDropFiles(names);
      // The window's state after the step, not only that the step ran.
      const bool showing = frmRaderAver.isVisible() && !frmRaderAver.isMinimized();
      trace.Handoff(frmRaderAver, names.size(), raised && showing);
    });
    if (lock != nullptr && lock->Held()) {
      QString error;
      if (!server.Listen(sheetpeek::InstanceChannelPath(folder), &error)) {
        PrintMessageLine("later starts cannot reach this window: " + error.toStdString());
      }
    }
    frmRaderAver.show();
    QTimer::singleShot(0, &frmRaderAver, [&] { trace.Ready(frmRaderAver); });
    // Start-up benchmark: end as soon as the window has been shown with its drawing.
    if (EnvFlag("SHEETPEEK_QUIT_AFTER_SHOW")) QTimer::singleShot(0, &app, &QCoreApplication::quit);
    QApplication::exec();
  } catch (const std::exception& e) {
    ShowException(QString::fromUtf8(e.what()));
  } catch (...) {
    ShowException(QStringLiteral("Unknown exception"));
  }
  if (lock != nullptr) lock->Release();
  return 0;
}

// --register: the register of one folder, without a window. It neither takes the single-instance
// lock nor listens for hand-offs: a viewer started meanwhile opens its own window, and one that
// runs already is left alone.
int RunRegister(int& argc, char** argv, const std::string& folder) {
  if (NoDisplayAtAll(argc, argv)) {
    std::fputs("sheetpeek: no display to show the dialogs on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n",
               stderr);
    return 1;
  }
  SheetpeekApplication app(argc, argv);
  const QString name = QFile::decodeName(QByteArray::fromStdString(folder));
  if (!std::filesystem::is_directory(std::filesystem::path(folder))) {
    const QString message = QStringLiteral("フォルダではありません: %1").arg(name);
    PrintMessageLine(message.toStdString());
    if (MessageBoxesWanted(qgetenv("QT_QPA_PLATFORM")))
      QMessageBox::warning(nullptr, QStringLiteral("エラー"), message);
    return 1;
  }
  const sheetpeek::RegisterRun run = sheetpeek::MakeFolderRegister(nullptr, name);
  switch (run.result) {
    case sheetpeek::RegisterRun::Written:
      std::fprintf(stdout, "%s\n", run.path.toUtf8().constData());
      return 0;
    case sheetpeek::RegisterRun::Cancelled:
      return 0;
    case sheetpeek::RegisterRun::Failed:
      break;
  }
  PrintMessageLine(run.message.toStdString());
  return 1;
}

}  // namespace

namespace {

int Start(int& argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (!arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!arguments.empty() && arguments[0] == "--version") {
    std::printf("sheetpeek %s\n", SHEETPEEK_VERSION);
    return 0;
  }

  if (!arguments.empty() && arguments[0] == "--register") {
    if (arguments.size() != 2) {
      std::fputs("sheetpeek: --register takes one FOLDER\n", stderr);
      return 2;
    }
    return RunRegister(argc, argv, arguments[1]);
  }

  std::string problem;
  const QString folder = QFile::decodeName(QByteArray::fromStdString(sheetpeek::InstanceFolder(&problem)));
  std::unique_ptr<InstanceLock> lock;
  if (folder.isEmpty()) {
    // Without a private folder there is no safe lock: this start runs on its own.
    PrintMessageLine(problem);
  } else {
    lock = std::make_unique<InstanceLock>(folder);
    if (lock->TryAcquire() == InstanceLock::Result::HeldElsewhere) {
      const std::vector<unsigned char> block = sheetpeek::EncodeHandoffBlock(AbsoluteNames(arguments));
      switch (sheetpeek::SendHandoff(sheetpeek::InstanceChannelPath(folder), block, *lock)) {
        case HandoffResult::Delivered:
          return 0;
        case HandoffResult::NoWindow:
          return ReportNoWindow(argc, argv);
        case HandoffResult::LockTaken:
          break;  // the other viewer ended meanwhile: this start becomes the viewer
      }
    }
  }
  return RunViewer(argc, argv, folder, lock.get());
}

}  // namespace

int main(int argc, char* argv[]) {
  // The viewer's own failures are caught inside RunViewer; this is for the start-up around it.
  try {
    return Start(argc, argv);
  } catch (const std::exception& e) {
    PrintMessageLine(e.what());
  } catch (...) {
    std::fputs("sheetpeek: unknown exception\n", stderr);
  }
  return 1;
}
