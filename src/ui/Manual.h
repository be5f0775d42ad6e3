#pragma once

#include <QString>

class QWidget;

// The operating manual (an HTML page with its pictures) shipped with the program.

// The manual's index.html: first where an installed program keeps it (share/cjpos/manual beside the
// program's bin folder), else in the source tree of a build. Empty when neither holds it.
QString FindManual(const QString& programFolder, const QString& sourceManual);

// FindManual for the running program.
QString ManualPath();

// Opens the manual in the default browser, at one of its sections when given (an anchor such as
// kManualMobileSection); tells the user when it is missing or cannot be opened.
bool OpenManual(QWidget* parent, const QString& section = {});

// The manual's section on mobile ordering and what to check when a phone cannot connect.
inline const QString kManualMobileSection = QStringLiteral("mobile");
