#include "Wayscribe/tools/help/Help.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QProcess>
#include <QShortcut>
#include <QStandardPaths>
#include <QWhatsThis>
#include <QWidget>

#include <cstring>
#include <mutex>
#include <optional>
#include <sstream>

#include "platform/registry/RegKey.h"
#include "platform/registry/Registry.h"

namespace Help {

namespace {

std::mutex g_lock;
std::string g_helpPath;
ProcessStarter g_starter;

// The string value under one hive; nothing when the key or the value
// cannot be read as a string.
std::optional<std::string> ReadHelpPathFrom(HKEY hive)
{
    CRegKey key;
    if (key.Open(hive, kSettingsKey, KEY_READ) != ERROR_SUCCESS)
        return std::nullopt;
    BYTE buffer[kMaxHelpPath] = {};
    DWORD size = sizeof buffer;
    DWORD type = REG_NONE;
    const LONG result = RegQueryValueEx(key, kHelpPathValue, nullptr, &type, buffer, &size);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    // Up to the first NUL; a value filling the buffer keeps room for none.
    const std::size_t limit = std::min<std::size_t>(size, kMaxHelpPath - 1);
    const char* text = reinterpret_cast<const char*>(buffer);
    return std::string(text, strnlen(text, limit));
}

// The folder of the help topics named by a help path: the path itself, or
// the folder of a file it names.
QString HelpFolder(const std::string& helpPath)
{
    const QFileInfo info(QString::fromStdString(helpPath));
    return info.isFile() ? info.absolutePath() : info.absoluteFilePath();
}

// The control of `widget`, or of its nearest parent, that has a topic in
// `map`; its identifier in *id.
QWidget* ControlWithTopic(QWidget* widget, const DWORD* map, int* id)
{
    for (; widget; widget = widget->parentWidget()) {
        bool number = false;
        const int candidate = widget->objectName().toInt(&number);
        if (!number || candidate == 0)
            continue;
        for (const DWORD* pair = map; pair[0] != 0 || pair[1] != 0; pair += 2) {
            if (pair[0] == static_cast<DWORD>(candidate)) {
                *id = candidate;
                return widget;
            }
        }
    }
    return nullptr;
}

}  // namespace

void ReadHelpPath()
{
    std::optional<std::string> path = ReadHelpPathFrom(HKEY_CURRENT_USER);
    if (!path)
        path = ReadHelpPathFrom(HKEY_LOCAL_MACHINE);
    SetHelpPath(path.value_or(std::string()));
}

std::string GetHelpPath()
{
    std::lock_guard lock(g_lock);
    return g_helpPath;
}

void SetHelpPath(const std::string& path)
{
    std::lock_guard lock(g_lock);
    g_helpPath = path;
}

std::string HelpViewerCommandLine(const std::string& helpPath, const std::string& topic)
{
    std::string line = "hh.exe mk:@MSITStore:";
    line.append(helpPath);
    line.append("::/");
    line.append(topic);
    return line;
}

void OpenHelpTopic(const std::string& topic)
{
    const std::string commandLine = HelpViewerCommandLine(GetHelpPath(), topic);
    ProcessStarter starter;
    {
        std::lock_guard lock(g_lock);
        starter = g_starter;
    }
    // Whether the viewer started is not examined.
    if (starter)
        starter(commandLine);
    else
        StartHelpViewerProcess(commandLine);
}

ProcessStarter SetProcessStarter(ProcessStarter starter)
{
    std::lock_guard lock(g_lock);
    return std::exchange(g_starter, std::move(starter));
}

std::string HelpViewerProgram()
{
    const QString name = QStringLiteral("wayscribe-help");
    if (QCoreApplication::instance()) {
        const QFileInfo beside(QDir(QCoreApplication::applicationDirPath()).filePath(name));
        if (beside.isFile() && beside.isExecutable())
            return beside.absoluteFilePath().toStdString();
    }
    return QStandardPaths::findExecutable(name).toStdString();
}

bool StartHelpViewerProcess(const std::string& commandLine)
{
    static const std::string kViewer = "hh.exe ";
    if (commandLine.compare(0, kViewer.size(), kViewer) != 0)
        return false;
    const std::string program = HelpViewerProgram();
    if (program.empty())
        return false;
    // One argument, as it stands: the help path may hold blanks.
    const QString argument = QString::fromStdString(commandLine.substr(kViewer.size()));
    return QProcess::startDetached(QString::fromStdString(program), {argument});
}

std::string PopupTopicText(const std::string& topicFileText, DWORD number)
{
    std::istringstream lines(topicFileText);
    std::string line;
    std::string text;
    bool inTopic = false;
    auto trim = [](std::string s) {
        const char* blanks = " \t\r\n";
        s.erase(0, s.find_first_not_of(blanks));
        s.erase(s.find_last_not_of(blanks) + 1);
        return s;
    };
    while (std::getline(lines, line)) {
        const std::string trimmed = trim(line);
        if (trimmed.rfind(".topic", 0) == 0) {
            if (inTopic)
                break;
            const std::string id = trim(trimmed.substr(6));
            inTopic = !id.empty() && id.find_first_not_of("0123456789") == std::string::npos &&
                      id.size() <= 10 && std::stoull(id) == number;
            continue;
        }
        if (inTopic) {
            text += trimmed.empty() ? "\n" : (text.empty() || text.back() == '\n' ? "" : " ") + trimmed;
        }
    }
    return trim(text);
}

bool ShowContextHelp(QWidget* control, int controlId, const DWORD* map)
{
    const std::string helpPath = GetHelpPath();
    if (!control || !map || helpPath.empty())
        return false;
    DWORD topic = 0;
    for (const DWORD* pair = map; pair[0] != 0 || pair[1] != 0; pair += 2) {
        if (pair[0] == static_cast<DWORD>(controlId)) {
            topic = pair[1];
            break;
        }
    }
    if (topic == 0)
        return false;
    QFile file(QDir(HelpFolder(helpPath)).filePath(QString::fromUtf8(kPopupTopicFile)));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const std::string text = PopupTopicText(file.readAll().toStdString(), topic);
    if (text.empty())
        return false;
    const QPoint below = control->mapToGlobal(QPoint(control->width() / 2, control->height()));
    QWhatsThis::showText(below, QString::fromStdString(text).toHtmlEscaped().replace("\n", "<br>"), control);
    return true;
}

void InstallContextHelp(QWidget* dialog, const DWORD* map)
{
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_F1), dialog);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(shortcut, &QShortcut::activated, dialog, [dialog, map]() {
        int id = 0;
        if (QWidget* control = ControlWithTopic(dialog->focusWidget(), map, &id))
            ShowContextHelp(control, id, map);
    });
}

}  // namespace Help
