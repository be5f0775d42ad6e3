#pragma once

class QApplication;
class QCoreApplication;

// The program's name for the desktop (window class and desktop entry "cjpos"), its font and icon, and Qt's
// own texts in Chinese. No application display name is set: the window system would append it to every
// window title, and the titles are the captions alone.
void SetUpProgramApplication(QApplication& app);

// Installs Qt's Chinese translations (standard buttons, file and print dialogs, text box menus). False when
// they are not installed; Qt then keeps its English texts.
bool InstallQtChineseTranslation(QCoreApplication& app);
