#pragma once

class QApplication;

// What every window of the program shares, set once before the first window:
// Qt's own texts (standard buttons, file dialogs) in Chinese whatever LANG
// says, Qt's widget-based file dialogs (the desktop's native ones would follow
// LANG), and the program's icon.
void PrepareApplication(QApplication& app);
