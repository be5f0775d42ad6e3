#pragma once

#include <QString>
#include <QStringList>

// The seven pages of mobile ordering, as the program carries them, written into data folder/phone.
const QStringList& ServicePageNames();

// Writes each page that is missing, and replaces each page that is still exactly as an earlier version of
// the program wrote it, so a restaurant that updates the program gets the new pages; a page the restaurant
// edited is left alone. Returns the names of the pages written.
QStringList WriteServicePages(const QString& dataFolder);

// The pages in the data folder that the restaurant edited: they match no version the program ever wrote,
// so they were kept as they are.
QStringList EditedServicePages(const QString& dataFolder);

// SHA-256 of every version of every page the program has ever written, the current ones included.
bool IsShippedPage(const QString& name, const QByteArray& content);
