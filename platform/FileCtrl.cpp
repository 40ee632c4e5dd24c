#include "FileCtrl.h"

#include <QDir>

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void TFileListBox::SetDirectory(const std::string& folder)
{
    directory_ = folder;
    Update();
}

void TFileListBox::SetMask(const QString& mask)
{
    mask_ = mask;
    Update();
}

void TFileListBox::Update()
{
    clear();
    if (directory_.empty())
        return;
    const QDir dir(QString::fromLocal8Bit(directory_.data(), static_cast<int>(directory_.size())));
    // Without QDir::CaseSensitive the patterns ignore letter case, so "*.dat"
    // lists X.DAT as well.
    addItems(dir.entryList(mask_.split(QLatin1Char(';'), Qt::SkipEmptyParts), QDir::Files,
                           QDir::Name | QDir::IgnoreCase));
}

QStringList TFileListBox::Items() const
{
    QStringList names;
    for (int i = 0; i < count(); ++i)
        names << item(i)->text();
    return names;
}

std::string TFileListBox::FileName() const
{
    const QListWidgetItem* selected = currentItem();
    if (!selected || !selected->isSelected() || directory_.empty())
        return std::string();
    std::string path = directory_;
    if (path.back() != '/')
        path += '/';
    return path + selected->text().toLocal8Bit().toStdString();
}
