#include "RegisterMaker.h"

#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QUrl>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "AppBoundary.h"
#include "Register.h"
#include "WindowLayout.h"

namespace sheetpeek {
namespace {

QString AskForName(QWidget* parent, const QString& folder) {
  const QString answer = qEnvironmentVariable("SHEETPEEK_TEST_SAVE_AS");
  if (!answer.isEmpty()) return answer;
  QString name = QFileDialog::getSaveFileName(
      parent, QString::fromUtf8(kRegisterCaption).remove(QChar(0x2026)),
      QDir(folder).filePath(QString::fromUtf8(kRegisterFileName)), QStringLiteral("Excel ブック (*.xlsx)"));
  if (!name.isEmpty() && !HasRegisterExtension(name.toStdString())) name += QStringLiteral(".xlsx");
  return name;
}

// What the worker and the window share; the worker keeps it alive until it has finished.
struct Job {
  std::atomic<bool> cancel{false};
  std::atomic<bool> finished{false};
  RegisterRun run;
};

}  // namespace

RegisterRun MakeFolderRegister(QWidget* parent, const QString& folder) {
  RegisterRun run;
  const QString out = AskForName(parent, folder);
  if (out.isEmpty()) return run;

  QProgressDialog progress(QStringLiteral("図面台帳を作成しています…"), QStringLiteral("キャンセル"), 0, 0,
                           parent);
  progress.setWindowTitle(QString::fromUtf8(kRegisterCaption).remove(QChar(0x2026)));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(400);
  progress.setAutoReset(false);
  progress.setAutoClose(false);

  auto job = std::make_shared<Job>();
  QEventLoop loop;
  QObject::connect(&progress, &QProgressDialog::canceled, [job] { job->cancel = true; });
  // Reports and the end reach the window through its event loop; the dialog and the loop outlive
  // the worker (it is joined below), and queued calls to an object that is gone are dropped.
  QPointer<QProgressDialog> dialog(&progress);
  QPointer<QEventLoop> waiting(&loop);
  const std::string folderBytes = QFile::encodeName(folder).toStdString();
  const std::string outBytes = QFile::encodeName(out).toStdString();
  std::thread worker([job, dialog, waiting, folderBytes, outBytes] {
    RegisterCallbacks callbacks;
    int shownPercent = -1;
    callbacks.progress = [&](std::size_t done, std::size_t total) {
      const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
      if (percent != shownPercent) {
        shownPercent = percent;
        QMetaObject::invokeMethod(
            dialog.data(),
            [dialog, percent] {
              if (!dialog) return;
              dialog->setMaximum(100);
              dialog->setValue(percent);
            },
            Qt::QueuedConnection);
      }
      return !job->cancel.load();
    };
    try {
      const RegisterOutcome outcome = WriteFolderRegister(folderBytes, outBytes, callbacks);
      job->run.result = outcome.cancelled ? RegisterRun::Cancelled : RegisterRun::Written;
    } catch (const std::exception& e) {
      job->run.result = RegisterRun::Failed;
      job->run.message = QString::fromUtf8(e.what());
    }
    job->finished = true;
    QMetaObject::invokeMethod(
        waiting.data(),
        [waiting] {
          if (waiting) waiting->quit();
        },
        Qt::QueuedConnection);
  });
  // The loop may be told to quit before it runs: look at the flag first.
  if (!job->finished) loop.exec();
  worker.join();
  progress.reset();
  progress.hide();

  run = job->run;
  if (run.result == RegisterRun::Written) {
    run.path = out;
    QDesktopServices::openUrl(QUrl::fromLocalFile(out));
  } else if (run.result == RegisterRun::Failed && MessageBoxesWanted(qgetenv("QT_QPA_PLATFORM"))) {
    QMessageBox::warning(parent, QStringLiteral("エラー"),
                         QStringLiteral("図面台帳を作成できませんでした。\n%1\n%2").arg(out, run.message));
  }
  return run;
}

}  // namespace sheetpeek
