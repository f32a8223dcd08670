#include "app/folder_memory_ui.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/settings_store.h"

QString FolderMemoryUi::Folder(const char* key) const {
    const QString folder =
        QFile::decodeName(QByteArray::fromStdString(m_store.GetString(kSection, key, "")));
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void FolderMemoryUi::Remember(const char* key, const QString& chosenFile) {
    if (chosenFile.isEmpty()) return;
    const QString folder = QFileInfo(chosenFile).absolutePath();
    m_store.SetString(kSection, key, QFile::encodeName(folder).toStdString());
}

QString FolderMemoryUi::OpenFileName(QWidget* parent, const QString& title, const QString& filters,
                                     const QString& directory) {
    const QString start = directory.isEmpty() ? Folder(kOpenKey) : directory;
    const QString chosen = m_desktop.OpenFileName(parent, title, filters, start);
    Remember(kOpenKey, chosen);
    return chosen;
}

QString FolderMemoryUi::SaveFileName(QWidget* parent, const QString& title, const QString& proposed,
                                     const QString& filters, QString* selectedFilter) {
    // The proposed name stays; only its folder becomes the one last saved to.
    QString start = proposed;
    const QString folder = Folder(kSaveKey);
    if (!folder.isEmpty()) start = QDir(folder).filePath(QFileInfo(proposed).fileName());
    const QString chosen = m_desktop.SaveFileName(parent, title, start, filters, selectedFilter);
    Remember(kSaveKey, chosen);
    return chosen;
}
