// The help viewer: shows one topic of the help folder. It understands the
// viewer command line the band starts it with.
#pragma once

#include <QString>
#include <QWidget>

#include <string>

class QTextBrowser;

// Parts of "mk:@MSITStore:<help path>::/<topic>": the argument after the
// program name in the command line the band builds.
struct HelpCommand {
    bool valid = false;
    std::string helpPath;
    std::string topic;
};
HelpCommand ParseHelpCommand(const std::string& argument);

// The file of `topic` in the help folder named by `helpPath` (the folder
// itself, or the folder of a file it names); empty when the topic is not
// there or would lie outside that folder.
QString ResolveHelpTopic(const std::string& helpPath, const std::string& topic);

// A window with a text browser. Links between topics stay inside the help
// folder; links to the web open in the user's browser. GUI thread only.
class CHelpViewer : public QWidget {
    Q_OBJECT

public:
    explicit CHelpViewer(QWidget* parent = nullptr);

    // Shows the topic and titles the window after it; false (and a page
    // that says what is missing) when it cannot be found.
    bool OpenTopic(const std::string& helpPath, const std::string& topic);
    bool OpenCommand(const std::string& argument);

    QTextBrowser* GetBrowser() const { return m_browser; }

private:
    void ShowMissing(const QString& message);

    QTextBrowser* m_browser = nullptr;
};
