#include "platform/linux/desktop_entries.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace tillory::platform::nix {
namespace {

// Real entries are a few KiB; a huge file is not one, and we read no further.
constexpr qint64 kMaxEntryBytes = 256 * 1024;

QString unescape(QByteArrayView raw) {
    QByteArray out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c != '\\' || i + 1 == raw.size()) {
            out.append(c);
            continue;
        }
        const char next = raw[++i];
        out.append(next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next);
    }
    return QString::fromUtf8(out);
}

QStringList defaultDataDirs() {
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty()) {
        home = QDir::homePath() + QStringLiteral("/.local/share");
    }
    QString system = qEnvironmentVariable("XDG_DATA_DIRS");
    if (system.isEmpty()) {
        system = QStringLiteral("/usr/local/share:/usr/share");
    }
    return QStringList{home} + system.split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

QString idKey(QString id) {
    if (id.endsWith(QStringLiteral(".desktop"))) {
        id.chop(8);
    }
    return id.toLower();
}

} // namespace

std::optional<DesktopEntry> parseDesktopEntry(QByteArrayView text) {
    DesktopEntry entry;
    bool inGroup = false;
    bool haveName = false;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0) {
            end = text.size();
        }
        QByteArrayView line = text.sliced(start, end - start).trimmed();
        start = end + 1;
        if (line.startsWith('[')) {
            if (inGroup) {
                break; // only the first [Desktop Entry] group counts
            }
            inGroup = line == QByteArrayView("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inGroup || line.startsWith('#') || equals <= 0) {
            continue;
        }
        const QByteArrayView key = line.first(equals).trimmed();
        const QByteArrayView value = line.sliced(equals + 1).trimmed();
        if (key == QByteArrayView("Name") && !haveName) {
            entry.name = unescape(value);
            haveName = true;
        } else if (key == QByteArrayView("StartupWMClass") && entry.startupWmClass.isEmpty()) {
            entry.startupWmClass = unescape(value);
        } else if (key == QByteArrayView("Icon") && entry.icon.isEmpty()) {
            entry.icon = unescape(value);
        }
    }
    if (!haveName || entry.name.isEmpty()) {
        return std::nullopt;
    }
    return entry;
}

DesktopEntryIndex::DesktopEntryIndex(QStringList dataDirs) {
    for (const QString& dir : dataDirs.isEmpty() ? defaultDataDirs() : dataDirs) {
        applicationDirs_.append(QDir(dir).filePath(QStringLiteral("applications")));
    }
}

void DesktopEntryIndex::refreshIfChanged() {
    std::vector<QDateTime> stamps;
    stamps.reserve(applicationDirs_.size());
    for (const QString& dir : applicationDirs_) {
        stamps.push_back(QFileInfo(dir).lastModified());
    }
    if (!scanned_ || stamps != stamps_) {
        stamps_ = std::move(stamps);
        scan();
    }
}

void DesktopEntryIndex::scan() {
    scanned_ = true;
    byId_.clear();
    byWmClass_.clear();
    for (const QString& dir : applicationDirs_) {
        QDirIterator files(dir, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            // The file id: the path below applications/ with '/' turned into '-'. Earlier folders win.
            const QString id = idKey(QDir(dir).relativeFilePath(path).replace(QLatin1Char('/'), QLatin1Char('-')));
            if (byId_.contains(id)) {
                continue;
            }
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                continue;
            }
            const auto entry = parseDesktopEntry(file.read(kMaxEntryBytes));
            if (!entry) {
                continue;
            }
            byId_.insert(id, *entry);
            if (!entry->startupWmClass.isEmpty() && !byWmClass_.contains(entry->startupWmClass.toLower())) {
                byWmClass_.insert(entry->startupWmClass.toLower(), *entry);
            }
        }
    }
}

const DesktopEntry* DesktopEntryIndex::find(const QString& appId, const QString& instance, const QString& className) {
    refreshIfChanged();
    if (!appId.isEmpty()) {
        const QString id = idKey(appId.contains(QLatin1Char('/')) ? QFileInfo(appId).fileName() : appId);
        if (const auto found = byId_.constFind(id); found != byId_.constEnd()) {
            return &found.value();
        }
    }
    for (const QString& wmClass : {className, instance}) {
        if (const auto found = byWmClass_.constFind(wmClass.toLower());
            !wmClass.isEmpty() && found != byWmClass_.constEnd()) {
            return &found.value();
        }
    }
    for (const QString& wmClass : {instance, className}) {
        if (const auto found = byId_.constFind(wmClass.toLower()); !wmClass.isEmpty() && found != byId_.constEnd()) {
            return &found.value();
        }
    }
    return nullptr;
}

QString DesktopEntryIndex::nameFor(const QString& appId, const QString& instance, const QString& className) {
    const DesktopEntry* entry = find(appId, instance, className);
    return entry ? entry->name : QString();
}

QString DesktopEntryIndex::iconFor(const QString& appId) {
    const DesktopEntry* entry = find(appId, appId, appId);
    return entry ? entry->icon : QString();
}

} // namespace tillory::platform::nix
