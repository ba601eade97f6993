#include "platform/ui/qt/qt_file_chooser.h"

#include <QFile>
#include <QFileDialog>
#include <QStringList>

#include "platform/ui/qt/qt_text.h"

namespace ui::qt {

namespace {

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

QString NameFilter(const FilterPair& pair)
{
    QStringList patterns;
    for (const std::string& pattern : pair.patterns)
        patterns << (pattern == "*.*" ? QStringLiteral("*") : ToQString(pattern)); // every file, dot or none
    const QString label = LabelWithoutPatterns(ToQString(pair.label));
    const QString joined = patterns.join(u' ');
    return label.isEmpty() ? joined : label + QLatin1String(" (") + joined + u')';
}

bool RunFileOpenDialog(QWidget* parent, const FileOpenOptions& options, std::string& path)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(options.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    QStringList filters;
    for (const FilterPair& pair : ParseFilter(options.filter))
        filters << NameFilter(pair);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(ToQString(PlainExtension(options.defaultExtension)));
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
