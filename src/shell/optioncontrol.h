#pragma once

#include "options.h"

class HarvestPresenter;
class QComboBox;
class QWidget;

// The control of one option row, made, bound to the harvest presenter and kept in step with
// it in the same way wherever it is shown (the main window's Options frame, the Crawl Options
// dialog): a check box, a drop-down list, a number box or a text field, with the row's
// object name and tooltip.
namespace OptionControl {

// A check box shows its caption; a list shows its caption until something is picked (the
// list is editable or not: see setTyped()); a number box or a text field is given a label
// of its own by the caller.
QWidget *make(QWidget *parent, const OptionRow &row);

// A click, a pick, a number or a text edited goes to the presenter, which writes it through;
// the control follows the presenter's value from then on.
void bind(QWidget *control, HarvestPresenter *presenter, OptionId id);

// Shows the presenter's value (and, for an editable list, the text typed into it).
void sync(QWidget *control, HarvestPresenter *presenter, OptionId id);

// A list that takes typed text, as the original window's did (what is typed shows and picks
// nothing), or one that is only picked from.
void setTyped(QComboBox *list, HarvestPresenter *presenter, OptionId id, bool typed);

// What a list shows: its item, or when nothing is picked its caption (a list that is only
// picked from shows it as a placeholder).
QString shownText(const QComboBox *list);

} // namespace OptionControl
