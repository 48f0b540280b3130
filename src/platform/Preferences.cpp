#include "platform/Preferences.h"

#include <QSettings>

namespace lumora::preferences {

QVariant value(const QString& key, const QVariant& fallback)
{
    return QSettings().value(key, fallback);
}

void setValue(const QString& key, const QVariant& value)
{
    QSettings settings;
    settings.setValue(key, value);
    settings.sync();
}

void remove(const QString& key)
{
    QSettings settings;
    settings.remove(key);
    settings.sync();
}

bool contains(const QString& key)
{
    return QSettings().contains(key);
}

bool flag(const QString& key, bool whenAbsent)
{
    const QVariant stored = QSettings().value(key);
    return stored.isValid() ? stored.toBool() : whenAbsent;
}

} // namespace lumora::preferences
