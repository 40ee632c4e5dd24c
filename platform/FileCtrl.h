// A list of the files in one folder that match a mask, like a file manager's
// file pane. It reads the folder when the folder or mask is set and on
// Update(); between those it does not follow the folder.
#pragma once

#include <QListWidget>
#include <QString>
#include <QStringList>

#include <string>

class TFileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TFileListBox(QWidget* parent = nullptr);

    // The folder (8-bit path, with or without a trailing separator).
    std::string Directory() const { return directory_; }
    void SetDirectory(const std::string& folder);
    // Patterns separated by ';' ("*.dat;*.csv"), matched without regard to
    // letter case.
    QString Mask() const { return mask_; }
    void SetMask(const QString& mask);

    // Reads the folder again; the selection is lost.
    void Update();

    // The file names listed, in order (without folder).
    QStringList Items() const;
    // The full path of the selected file, empty when none is selected.
    std::string FileName() const;

private:
    std::string directory_;
    QString mask_ = QStringLiteral("*.*");
};
