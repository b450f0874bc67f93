#include "platform/settings/profile.h"

#include <QSettings>
#include <QString>

namespace {

QString KeyOf(const std::string& section, const std::string& key) {
    return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}

}  // namespace

Profile::Profile()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Orvane"),
                                            QStringLiteral("Orvane OPC"))) {}

Profile::~Profile() = default;

int Profile::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
    const QVariant value = settings_->value(KeyOf(section, key));
    if (!value.isValid()) return defaultValue;
    bool ok = false;
    const int result = value.toString().trimmed().toInt(&ok);
    return ok ? result : defaultValue;
}

void Profile::WriteInt(const std::string& section, const std::string& key, int value) {
    settings_->setValue(KeyOf(section, key), value);
}

std::string Profile::GetString(const std::string& section, const std::string& key,
                               const std::string& defaultValue) const {
    const QVariant value = settings_->value(KeyOf(section, key));
    // A list or other structured value where text is expected is malformed.
    if (!value.isValid() || !value.canConvert<QString>()) return defaultValue;
    return value.toString().toStdString();
}

void Profile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    settings_->setValue(KeyOf(section, key), QString::fromStdString(value));
}

void Profile::Flush() { settings_->sync(); }

void Profile::UseFolderForTesting(const std::string& folder) {
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(folder));
}
