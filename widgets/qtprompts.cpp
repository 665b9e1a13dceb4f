#include "widgets/qtprompts.h"

#include "widgets/screenfit.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

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
        if (FitToScreen(this, frame))
            KeepFrameOnScreen(this, frame);
    }
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
