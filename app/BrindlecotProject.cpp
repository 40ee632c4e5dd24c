#include "BrindlecotProject.h"

#include "Brindlecot.h"
#include "Dialogs.h"
#include "Folders.h"
#include "Forms.h"
#include "SingleInstance.h"

#include <QApplication>
#include <QFileInfo>

#include <exception>
#include <memory>

int WinMain()
{
    const TSingleInstance instance(QFileInfo(ExeName()).fileName());
    if (instance.AlreadyRunning()) {
        ShowMessage(QStringLiteral("Application is already running"));
        return 0;
    }
    try {
        QApplication::setApplicationName(QStringLiteral("Brindlecot"));
        std::unique_ptr<TStartUpForm> form(new TStartUpForm());
        StartUpForm = form.get();
        form->show();
        QApplication::exec();
        StartUpForm = nullptr;
    } catch (const std::exception& e) {
        StartUpForm = nullptr;
        ShowException(PathText(e.what()));
    } catch (...) {
        // The last place an error can be shown before the program ends.
        StartUpForm = nullptr;
        ShowException(QString());
    }
    return 0;
}
