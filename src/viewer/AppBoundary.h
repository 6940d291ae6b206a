// The viewer's application object and its exception display: an exception that escapes an
// event handler is shown in a box captioned with the application's name, and the loop goes on.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QString>
#include <string>

namespace sheetpeek {

// The message as the display shows it: a full stop is added when the last character sorts
// after "."; an empty message stays empty.
QString ExceptionDisplayText(const QString& message);

// True when the environment variable is set to anything but "" or "0".
bool EnvFlag(const char* name);

// False when boxes are turned off (SHEETPEEK_NO_MESSAGE_BOX set to anything but "" or "0")
// or nobody could see one: the offscreen or minimal platform, or no display at all.
// `platform` is the Qt platform in use or asked for ("" when none is asked for).
bool MessageBoxesWanted(const QByteArray& platform);

// Writes "sheetpeek: TEXT" as one line on standard error, control characters in it (from file
// names or drawings) as visible escapes.
void PrintMessageLine(const std::string& utf8);

// Writes the text to standard error and, when boxes are wanted, shows it in a box with the
// error icon and an OK button, captioned with the application's name. Needs a QApplication.
void ShowException(const QString& message);

// Where Qt's translations of its own texts are looked for: SHEETPEEK_QT_TRANSLATIONS when set (tests
// point it elsewhere), else the folder Qt was installed with.
QString QtTranslationsFolder();

// Installs Qt's translation of its own texts (dialog buttons, the open dialog) for the user's language
// from `folder`, owned by `app`; false when the folder has none for that language.
bool InstallQtTranslation(QCoreApplication& app, const QString& folder);

// Also installs Qt's translation for the user's language when one is found, and keeps the
// desktop's style but for the menu bar's overflow icon, which the window never shows.
class SheetpeekApplication : public QApplication {
 public:
  SheetpeekApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace sheetpeek
