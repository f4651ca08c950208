// How the band reaches its help: the help path, whole topics in the help
// viewer, and popups for single controls of its dialogs.
#pragma once

#include <functional>
#include <string>

#include "platform/base/WinTypes.h"

class QWidget;

namespace Help {

inline constexpr const char* kSettingsKey = "Software\\Quillonix\\WYSC";
inline constexpr const char* kHelpPathValue = "HelpPath";
inline constexpr std::size_t kMaxHelpPath = 260;  // bytes, with the terminating NUL
inline constexpr const char* kOptionsTopic = "optionsd.htm";
inline constexpr const char* kIndexTopic = "About.htm";
inline constexpr const char* kPopupTopicFile = "topics.txt";

// Fills the process-wide help path from `HelpPath` under "Software\Quillonix\WYSC"
// of HKEY_CURRENT_USER or, when the key or a string value cannot be read
// there, of HKEY_LOCAL_MACHINE: the text up to its first NUL, at most 259
// bytes; empty when neither has one. A value present but empty under
// HKEY_CURRENT_USER counts as read. Called when a band is made; any thread.
void ReadHelpPath();
// The help path as last read; here it names the folder of the help topics.
std::string GetHelpPath();
void SetHelpPath(const std::string& path);

// "hh.exe mk:@MSITStore:" + help path + "::/" + topic.
std::string HelpViewerCommandLine(const std::string& helpPath, const std::string& topic);

// Starts the help viewer on `topic` of the current help path without
// waiting for it; whether it started is not examined. An empty help path
// still starts it (the viewer then says that no help is installed).
void OpenHelpTopic(const std::string& topic);

// Starts a viewer command line; true when a process started. The default
// runs the program wayscribe-help (beside the running program, else on the
// PATH) with everything after "hh.exe " as its one argument. Tests put a
// recorder in its place; null restores the default. Returns the previous.
using ProcessStarter = std::function<bool(const std::string& commandLine)>;
ProcessStarter SetProcessStarter(ProcessStarter starter);
bool StartHelpViewerProcess(const std::string& commandLine);
// The viewer program the default starter runs; empty when none is found.
std::string HelpViewerProgram();

// Shows the popup topic of a control: its topic number is looked up in
// `map` (pairs of control identifier and topic number, ended by two zeros)
// and its text read from the popup topic file in the help folder. True when
// a popup was shown; false (and nothing shown) when the help path, the map
// or the control is missing, the control has no topic, or the topic file
// has no text for it.
bool ShowContextHelp(QWidget* control, int controlId, const DWORD* map);

// The text of popup topic `number` in a topic file: the lines after
// ".topic <number>" up to the next ".topic" line, trimmed; "" when absent.
std::string PopupTopicText(const std::string& topicFileText, DWORD number);

// Makes F1 show the popup of the control that has the focus in `dialog`
// (the nearest of it and its parents whose object name is a control
// identifier in `map`, which must outlive the dialog).
void InstallContextHelp(QWidget* dialog, const DWORD* map);

}  // namespace Help
