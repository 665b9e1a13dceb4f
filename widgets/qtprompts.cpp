#include "widgets/qtprompts.h"

#include "ground/homeowner.h"
#include "ground/settingsstore.h"
#include "widgets/screenfit.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>

#include <limits>

namespace {

// A box with a long text (a failure's report) can grow past the screen; it then
// scrolls within the screen, its title bar and buttons in reach.
class ScreenFittedMessageBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;

protected:
    // The box takes its size as it shows, before it reaches the screen.
    void showEvent(QShowEvent *event) override
    {
        QMessageBox::showEvent(event);
        const QMargins frame = ExpectedFrame(this);
        mFitted = FitToScreen(this, frame);
        if (mFitted)
            KeepFrameOnScreen(this, frame);
    }

    // A box sizes itself anew from its layout whenever the layout asks, and
    // once fitted its layout holds only the scroll area: a box of a hundred
    // lines would shrink to a few pixels, and fight the window manager over
    // its size. A fitted box keeps the size it was fitted to.
    bool event(QEvent *event) override
    {
        if (mFitted && event->type() == QEvent::LayoutRequest)
            return QDialog::event(event);
        return QMessageBox::event(event);
    }

private:
    bool mFitted = false;
};

} // namespace

QWidget *QtPrompts::parentWindow()
{
    QWidget *active = QApplication::activeWindow();
    if (active && active->isVisible())
        return active;
    // While the focus moves (a dialog has just closed, or no window manager
    // hands it out) no window is active; the box still belongs over the
    // program's window on screen, not loose in the middle of the desktop.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->isVisible() && window->windowType() == Qt::Window)
            return window;
    }
    return nullptr;
}

// The file dialog keeps its last folder and view in the user's configuration
// folder ("QtProject.conf"). Run as root with another user's home (sudo -E), it
// would leave a file there that the user could no longer replace: it keeps
// them in a folder of this run instead, which goes with it.
void QtPrompts::keepDialogStateOutOfBorrowedHome()
{
    if (!HomeOwnerFor(QFileInfo(SettingsFilePath(kSettingsApp)).absolutePath()))
        return;
    static const QTemporaryDir runsOwn;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, runsOwn.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, runsOwn.path());
}

MsgAnswer QtPrompts::message(const QString &text, MsgButtons buttons, MsgIcon icon,
                             const QString &title)
{
    ScreenFittedMessageBox box(parentWindow());
    box.setWindowTitle(title);
    // Shown as written: a path or a failure's description may hold "<b>" or "&amp;".
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setIcon(icon == MsgIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon);
    if (buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int result = box.exec();
    switch (result) {
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    case QMessageBox::Ok: return MsgAnswer::Ok;
    default: return MsgAnswer::Closed;
    }
}

QString QtPrompts::input(const QString &prompt, const QString &title, const QString &defaultText)
{
    QInputDialog dialog(parentWindow());
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    // A line edit keeps at most 32,767 characters unless told otherwise, and
    // would cut a longer pasted text or default without a word. The commands
    // decide what is too long.
    if (auto *field = dialog.findChild<QLineEdit *>())
        field->setMaxLength(std::numeric_limits<int>::max());
    dialog.setTextValue(defaultText);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.textValue();
}

QString QtPrompts::saveFileName(const QString &title, const QString &filter)
{
    return saveFileAs(title, {filter}).path;
}

SaveChoice QtPrompts::saveFileAs(const QString &title, const QStringList &filters)
{
    keepDialogStateOutOfBorrowedHome();
    QFileDialog dialog(parentWindow(), title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(QString());
    dialog.setDirectory(startFolder());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    rememberFolder(dialog.selectedFiles().constFirst());
    return {dialog.selectedFiles().constFirst(), dialog.selectedNameFilter()};
}

QString QtPrompts::openFileName(const QString &title, const QString &filter)
{
    keepDialogStateOutOfBorrowedHome();
    QFileDialog dialog(parentWindow(), title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(filter);
    dialog.setDirectory(startFolder());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    rememberFolder(dialog.selectedFiles().constFirst());
    return dialog.selectedFiles().constFirst();
}

QString QtPrompts::startFolder() const
{
    if (!mLastFolder.isEmpty() && QFileInfo(mLastFolder).isDir())
        return mLastFolder;
    return QDir::homePath();
}

void QtPrompts::rememberFolder(const QString &chosenPath)
{
    mLastFolder = QFileInfo(chosenPath).absolutePath();
}
