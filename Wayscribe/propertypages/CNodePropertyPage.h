// The common form of the read-only property pages of history nodes: the
// node kind's icon with a header beside it, a separator, then labelled
// values, all filled from texts computed before the sheet opens.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Wayscribe/tools/widgets/CPropertyPage.h"

// Every page is titled "General" and sized as a 224 by 211 dialog-unit
// page in its font. Value controls are read-only edits (which scroll
// sideways) or static texts; each is found by its control identifier as its
// object name. Static texts show "Static" (the header of some pages
// another word) until the page becomes active, when every control gets its
// text; nothing is ever read back.
class CNodePropertyPage : public CPropertyPage {
    Q_OBJECT

public:
    enum class Control { Static, Edit };
    struct Field {
        // The label before the control; "" for none.
        const char* label;
        int id;
        Control control;
        // A separator line goes above this field.
        bool separatorBefore = false;
    };

    bool OnSetActive() override;

protected:
    // `header` stands beside the icon (`headerText` its initial text);
    // `fields` follow below the separator in order.
    CNodePropertyPage(int dialogId, int iconId, Field header, const char* headerText,
                      const std::vector<Field>& fields, QWidget* parent);

    // The text of each control, by identifier.
    virtual std::vector<std::pair<int, std::string>> Texts() const = 0;

private:
    QWidget* MakeControl(const Field& field, const char* initialText);
};
