#include "ui/common/ElidedPath.h"

#include <QStringList>

QString elidePathInText(const QString& text, const QString& path,
                        const std::function<bool(const QString&)>& fits) {
    if (fits(text))
        return text;
    const qsizetype at = path.isEmpty() ? -1 : text.indexOf(path);
    if (at < 0)
        return {};
    const QChar separator = path.contains(QLatin1Char('\\')) ? QLatin1Char('\\') : QLatin1Char('/');
    const QStringList parts = path.split(separator);
    // The start is everything up to the first named part: "C:", "/home", "\\server".
    qsizetype head = 0;
    while (head < parts.size() && parts[head].isEmpty())
        ++head;
    ++head;
    const qsizetype folders = parts.size() - 1 - head; // between the start and the file name
    const QString before = text.left(at);
    const QString after = text.mid(at + path.size());
    // The folder that holds the file stays: it is what tells where the file is.
    for (qsizetype left = 1; left < folders; ++left) {
        // Of the folders that stay, the one nearer the file gets the odd one.
        const qsizetype keepLeft = (folders - left) / 2;
        const qsizetype keepRight = folders - left - keepLeft;
        QStringList shown = parts.mid(0, head + keepLeft);
        shown << QStringLiteral("\u2026");
        shown << parts.mid(parts.size() - 1 - keepRight);
        const QString candidate = before + shown.join(separator) + after;
        if (fits(candidate))
            return candidate;
    }
    return {};
}
