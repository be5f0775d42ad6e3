#pragma once

#include <QString>

class QDialog;
class QWidget;

// "V" and the first two parts of a version number: "2.0.0" gives "V2.0".
QString VersionText(const QString& version);

// The about box "版本信息": program name, version and a link to the manual. Shown not modal; while one
// is open for this parent, it is raised instead of opening another.
QDialog* ShowAboutBox(QWidget* parent);
