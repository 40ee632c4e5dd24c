#include "Forms.h"

#include "Folders.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    // Nothing may unwind through Qt's event delivery: whatever got this far
    // is shown here, and the program carries on.
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(PathText(e.what()));
    } catch (...) {
        ShowException(QString());
    }
    return false;
}

void RunHandler(const std::function<void()>& handler)
{
    // Every error of a handler ends here, whatever its type, in the error box.
    try {
        handler();
    } catch (const std::exception& e) {
        ShowException(PathText(e.what()));
    } catch (...) {
        ShowException(QString());
    }
}

namespace {
QString& exeNameOverride()
{
    static QString path;
    return path;
}
} // namespace

QString ExeName()
{
    const QString& path = exeNameOverride();
    return path.isEmpty() ? QCoreApplication::applicationFilePath() : path;
}

void setExeName(const QString& path)
{
    exeNameOverride() = path;
}

QString ChangeFileExt(const QString& fileName, const QString& extension)
{
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const qsizetype end = dot > slash ? dot : fileName.size();
    return fileName.left(end) + extension;
}

void CenterOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

TForm::TForm(QWidget* owner, Qt::WindowFlags flags) : QDialog(owner, flags) {}

QPushButton* TForm::MakeButton(const QString& caption, int modalResult, bool isDefault)
{
    auto* button = new QPushButton(caption, this);
    button->setAutoDefault(false);
    button->setDefault(isDefault);
    if (modalResult != mrNone)
        connect(button, &QPushButton::clicked, this, [this, modalResult] { done(modalResult); });
    return button;
}

void TForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TForm::reject()
{
    done(mrCancel);
}
