#include "ui/mainwindow/recent_projects.h"

#include "model/settings.h"

namespace telvo {

void TRecentProjects::Load(const TSettings& settings)
{
    for (int i = 0; i < Count; ++i)
        entries_[i] = settings.GetString(std::to_string(i), "");
}

void TRecentProjects::Save(TSettings& settings) const
{
    for (int i = 0; i < Count; ++i)
        settings.SetString(std::to_string(i), entries_[i]);
}

void TRecentProjects::Opened(const std::string& path)
{
    if (path == entries_[0])
        return;
    for (int i = Count - 1; i > 0; --i)
        entries_[i] = entries_[i - 1];
    entries_[0] = path;
}

QString RecentProjectCaption(const std::string& path)
{
    QString text = QString::fromStdString(path);
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QLatin1Char('&') + text;
}

std::string RecentProjectPath(const QString& caption)
{
    QString text = caption;
    int mark = text.indexOf(QLatin1Char('&'));
    if (mark >= 0)
        text.remove(mark, 1);
    text.replace(QStringLiteral("&&"), QStringLiteral("&"));
    return text.toStdString();
}

} // namespace telvo
