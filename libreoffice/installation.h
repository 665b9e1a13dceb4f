#pragma once

#include "libreoffice/layer.h"

#include <QString>

// A LibreOffice program folder as its bootstrap file describes it: the one
// place that reads that file.
class Installation
{
public:
    // The installation this tool starts its instances from.
    static Installation ours();

    explicit Installation(const QString &programFolder) : mFolder(programFolder) {}

    QString programFolder() const { return mFolder; }
    // Name and version, "LibreOffice 7.4"; empty when the folder has no
    // bootstrap file.
    QString productKey() const;
    // What the installation calls itself ("LibreOffice") and its version ("7.4").
    QString productName() const;
    QString productVersion() const;
    // Whether the folder carries LibreOffice's bootstrap file: a program
    // that only calls itself "soffice.bin" does not.
    bool isLibreOffice() const;

private:
    QString mFolder;
};
