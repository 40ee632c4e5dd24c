#include "PortModeTool.h"

#include "Dialogs.h"
#include "Folders.h"
#include "Forms.h"
#include "MainFormUnit.h"
#include "PortModeVersion.h"
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
        QApplication::setApplicationName(QString::fromLatin1(ProductName));
        std::unique_ptr<TMainForm> form(new TMainForm());
        form->show();
        QApplication::exec();
    } catch (const std::exception& e) {
        ShowException(PathText(e.what()));
    } catch (...) {
        // The last place an error can be shown before the program ends.
        ShowException(QString());
    }
    return 0;
}
