// The register (図面台帳) of a folder and its subfolders, made from the window's menu or from
// `sheetpeek --register FOLDER`: a save dialog, the work on a worker thread behind a progress
// dialog that can cancel it, then the workbook opened by the desktop's program for it.
#pragma once

#include <QString>

class QWidget;

namespace sheetpeek {

struct RegisterRun {
  enum Result { Written, Cancelled, Failed } result = Cancelled;
  QString path;     // the workbook, when one was written
  QString message;  // why it failed
};

// `folder` as the file system names it. The save dialog is answered by SHEETPEEK_TEST_SAVE_AS
// when that names a file (for tests).
RegisterRun MakeFolderRegister(QWidget* parent, const QString& folder);

}  // namespace sheetpeek
