#include "Wayscribe/tools/help/CHelpViewer.h"

#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <cstring>

namespace {

constexpr const char* kPrefix = "mk:@MSITStore:";
constexpr const char* kSeparator = "::/";
const QString kViewerTitle = QStringLiteral("Wayscribe Help");

}  // namespace

HelpCommand ParseHelpCommand(const std::string& argument)
{
    HelpCommand command;
    const std::string prefix = kPrefix;
    if (argument.compare(0, prefix.size(), prefix) != 0)
        return command;
    const std::size_t separator = argument.rfind(kSeparator);
    if (separator == std::string::npos || separator < prefix.size())
        return command;
    command.valid = true;
    command.helpPath = argument.substr(prefix.size(), separator - prefix.size());
    command.topic = argument.substr(separator + std::strlen(kSeparator));
    return command;
}

QString ResolveHelpTopic(const std::string& helpPath, const std::string& topic)
{
    if (helpPath.empty() || topic.empty())
        return QString();
    const QFileInfo help(QString::fromStdString(helpPath));
    const QString folder = QDir::cleanPath(help.isFile() ? help.absolutePath() : help.absoluteFilePath());
    const QString name = QString::fromStdString(topic);
    if (QDir::isAbsolutePath(name))
        return QString();
    const QString file = QDir::cleanPath(folder + "/" + name);
    if (!file.startsWith(folder + "/") || !QFileInfo(file).isFile())
        return QString();
    return file;
}

CHelpViewer::CHelpViewer(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(kViewerTitle);
    m_browser = new QTextBrowser(this);
    m_browser->setOpenExternalLinks(true);
    m_browser->setOpenLinks(true);
    m_browser->document()->setDocumentMargin(12);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(640, 520);
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this]() {
        const QString title = m_browser->documentTitle();
        setWindowTitle(title.isEmpty() ? kViewerTitle : title + " - " + kViewerTitle);
    });
}

bool CHelpViewer::OpenCommand(const std::string& argument)
{
    const HelpCommand command = ParseHelpCommand(argument);
    if (!command.valid) {
        ShowMissing(QStringLiteral("The help viewer was started without a help topic."));
        return false;
    }
    return OpenTopic(command.helpPath, command.topic);
}

bool CHelpViewer::OpenTopic(const std::string& helpPath, const std::string& topic)
{
    if (helpPath.empty()) {
        ShowMissing(QStringLiteral("No help is installed: the help folder is not set."));
        return false;
    }
    const QString file = ResolveHelpTopic(helpPath, topic);
    if (file.isEmpty()) {
        ShowMissing(QStringLiteral("The help topic \"%1\" is not in the help folder \"%2\".")
                        .arg(QString::fromStdString(topic), QString::fromStdString(helpPath)));
        return false;
    }
    m_browser->setSearchPaths({QFileInfo(file).absolutePath()});
    m_browser->setSource(QUrl::fromLocalFile(file));
    return true;
}

void CHelpViewer::ShowMissing(const QString& message)
{
    m_browser->clear();
    m_browser->setHtml("<h3>" + kViewerTitle.toHtmlEscaped() + "</h3><p>" + message.toHtmlEscaped() + "</p>");
    setWindowTitle(kViewerTitle);
}
