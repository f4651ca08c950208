// What the search pane remembers between sessions: its three field check
// boxes and the last expression, under HKEY_CURRENT_USER
// "Software\Quillonix\WYSC".
//
// Values: SearchUrl, SearchTitle, SearchContent (REG_BINARY, 4 bytes, 0 or
// 1) and SearchExpression (REG_SZ with its terminating NUL). Any thread.
#pragma once

#include <string>

struct CSearchSettings {
    static constexpr const char* kKey = "Software\\Quillonix\\WYSC";
    static constexpr const char* kUrlValue = "SearchUrl";
    static constexpr const char* kTitleValue = "SearchTitle";
    static constexpr const char* kContentValue = "SearchContent";
    static constexpr const char* kExpressionValue = "SearchExpression";

    bool Url = false;
    bool Title = false;
    bool Content = false;
    std::string Expression;

    // Reads the settings into *settings. When the key cannot be opened,
    // returns false and leaves *settings as it was. Otherwise a flag that is
    // missing, not REG_BINARY or longer than 4 bytes counts as checked, and
    // any other flag as its stored number (non-zero: checked); the expression
    // is taken when it is REG_SZ or REG_EXPAND_SZ (as stored, up to its first
    // NUL), else left as it was.
    static bool Load(CSearchSettings* settings);

    // Writes all four values, creating the key if needed. False when the key
    // cannot be opened or a value cannot be written.
    bool Save() const;
};
