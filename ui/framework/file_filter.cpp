#include "ui/framework/file_filter.h"

#include <QStringList>

namespace {

QString QtPatterns(const QString& windowsPatterns) {
    QStringList patterns;
    for (QString pattern : windowsPatterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        pattern = pattern.trimmed();
        if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
        if (!pattern.isEmpty()) patterns << pattern;
    }
    return patterns.join(QLatin1Char(' '));
}

}  // namespace

QString ToQtFileFilter(std::string_view windowsFilter) {
    const QStringList fields =
        QString::fromUtf8(windowsFilter.data(), static_cast<qsizetype>(windowsFilter.size())).split(QLatin1Char('|'));
    QStringList filters;
    // Pairs of description and patterns; a trailing odd field is the closing '|'.
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        const QString patterns = QtPatterns(fields[i + 1]);
        if (patterns.isEmpty()) continue;
        QString description = fields[i].trimmed();
        // The description usually shows the patterns in parentheses already; Qt reads the
        // patterns from there, so they must be Qt's.
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open >= 0 && description.endsWith(QLatin1Char(')'))) description = description.left(open).trimmed();
        filters << (description.isEmpty() ? patterns
                                          : description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}
