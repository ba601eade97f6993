#include "platform/ui/qt_file_chooser.h"

#include <QFile>
#include <QFileDialog>

#include "platform/ui/qt_text.h"

namespace ui::qt {

namespace {

QString PatternsForToolkit(const QString& patterns)
{
    QStringList out;
    for (const QString& p : patterns.split(u';', Qt::SkipEmptyParts)) {
        QString pattern = p.trimmed();
        if (pattern == QLatin1String("*.*"))
            pattern = QStringLiteral("*"); // every file, with or without a dot
        if (!pattern.isEmpty())
            out << pattern;
    }
    return out.join(u' ');
}

QString LabelWithoutPatterns(const QString& label)
{
    QString trimmed = label.trimmed();
    if (trimmed.endsWith(u')')) {
        qsizetype open = trimmed.lastIndexOf(u'(');
        if (open >= 0)
            trimmed = trimmed.left(open).trimmed();
    }
    return trimmed;
}

} // namespace

QStringList NameFiltersFromPairs(const std::string& filter)
{
    const QStringList parts = ToQString(filter).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // An empty label ends the list: that is what the closing "||" makes.
        if (parts[i].isEmpty())
            break;
        QString patterns = PatternsForToolkit(parts[i + 1]);
        if (patterns.isEmpty())
            continue;
        QString label = LabelWithoutPatterns(parts[i]);
        filters << (label.isEmpty() ? patterns : label + QLatin1String(" (") + patterns + u')');
    }
    return filters;
}

QString SuffixFromDefaultExtension(const std::string& defaultExtension)
{
    QString ext = ToQString(defaultExtension).trimmed();
    while (ext.startsWith(u'*') || ext.startsWith(u'.'))
        ext.remove(0, 1);
    if (ext.contains(u'*') || ext.contains(u'?') || ext.contains(u'.'))
        return QString();
    return ext;
}

bool RunFileOpenDialog(QWidget* parent, const FileOpenOptions& options, std::string& path)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(options.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    QStringList filters = NameFiltersFromPairs(options.filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(SuffixFromDefaultExtension(options.defaultExtension));
    if (!options.initialFile.empty())
        dialog.selectFile(ToQString(options.initialFile));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return false;
    path = QFile::encodeName(chosen.first()).toStdString();
    return true;
}

} // namespace ui::qt
