#include "libreoffice/process/runningapplication.h"

void RunningApplication::refuse() const
{
    throw SpreadsheetError(QStringLiteral("The LibreOffice instance %1 belongs to the user; "
                                          "Quintarra does not drive it.")
                                   .arg(mPid));
}
