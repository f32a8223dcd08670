#include "platform/qt_settings_store.h"

#include <QSettings>
#include <QString>

namespace orbelune {

namespace {

QString KeyOf(const std::string& section, const std::string& key) {
    return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}

}  // namespace

QtSettingsStore::QtSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("Halvarn"),
                                            QStringLiteral("Orbelune"))) {}

QtSettingsStore::QtSettingsStore(const std::string& iniPath)
    : settings_(
          std::make_unique<QSettings>(QString::fromStdString(iniPath), QSettings::IniFormat)) {}

QtSettingsStore::~QtSettingsStore() = default;

int QtSettingsStore::GetInt(const std::string& section, const std::string& key, int defaultValue) {
    settings_->sync();
    const QVariant value = settings_->value(KeyOf(section, key));
    if (!value.isValid()) return defaultValue;
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    return ok ? number : defaultValue;
}

std::string QtSettingsStore::GetString(const std::string& section, const std::string& key,
                                       const std::string& defaultValue) {
    settings_->sync();
    const QVariant value = settings_->value(KeyOf(section, key));
    if (!value.isValid() || !value.canConvert<QString>()) return defaultValue;
    return value.toString().toStdString();
}

void QtSettingsStore::SetInt(const std::string& section, const std::string& key, int value) {
    settings_->setValue(KeyOf(section, key), value);
    settings_->sync();
}

void QtSettingsStore::SetString(const std::string& section, const std::string& key,
                                const std::string& value) {
    settings_->setValue(KeyOf(section, key), QString::fromStdString(value));
    settings_->sync();
}

std::string QtSettingsStore::FilePath() const {
    return settings_->fileName().toStdString();
}

}  // namespace orbelune
