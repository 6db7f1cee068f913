#include "app/savenameasker.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

QString askWithFileDialog(QWidget *parent, const QString &caption, const QString &filter,
                          const QString &suggested)
{
    QFileDialog dialog(parent, caption, suggested, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The dialog adds the suffix itself, so that it asks before replacing the file so named.
    dialog.setDefaultSuffix(filterSuffix(filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString filterSuffix(const QString &filter)
{
    static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
    return pattern.match(filter).captured(1);
}

QString withFilterSuffix(const QString &name, const QString &filter)
{
    const QString suffix = filterSuffix(filter);
    if (name.isEmpty() || suffix.isEmpty() || !QFileInfo(name).suffix().isEmpty())
        return name;
    return name.endsWith(QLatin1Char('.')) ? name + suffix : name + QLatin1Char('.') + suffix;
}

QString askOpenWithFileDialog(QWidget *parent, const QString &caption, const QString &filter,
                              const QString &folder)
{
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}
