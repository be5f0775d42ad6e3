#pragma once

#include <QString>
#include <QStringList>

// The seven pages of mobile ordering, written into data folder/phone when missing.
const QStringList& ServicePageNames();

// Writes each missing page from the program's resources; existing pages are left alone.
// Returns the names of the pages written.
QStringList WriteServicePages(const QString& dataFolder);
