#include "optioncontrol.h"

#include "harvestpresenter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

#include <algorithm>

namespace OptionControl {

QWidget *make(QWidget *parent, const OptionRow &row)
{
    QWidget *control = nullptr;
    switch (row.kind) {
    case OptionRow::Kind::Check:
        control = new QCheckBox(row.caption, parent);
        break;
    case OptionRow::Kind::Choice: {
        auto *c = new QComboBox(parent);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->addItems(row.items);
        c->setMaxVisibleItems(10);
        c->setPlaceholderText(row.caption);
        control = c;
        break;
    }
    case OptionRow::Kind::Number: {
        auto *n = new QSpinBox(parent);
        n->setRange(row.minimum, row.maximum);
        control = n;
        break;
    }
    case OptionRow::Kind::Text:
        control = new QLineEdit(parent);
        break;
    }
    control->setObjectName(row.objectName);
    if (!row.tooltip.isEmpty())
        control->setToolTip(row.tooltip);
    return control;
}

void bind(QWidget *control, HarvestPresenter *p, OptionId id)
{
    if (auto *c = qobject_cast<QCheckBox *>(control)) {
        QObject::connect(c, &QCheckBox::clicked, p,
                         [p, id](bool checked) { p->optionClicked(id, checked ? 1 : 0); });
    } else if (auto *c = qobject_cast<QComboBox *>(control)) {
        QObject::connect(c, &QComboBox::activated, p,
                         [p, id](int index) { p->optionClicked(id, index); });
    } else if (auto *n = qobject_cast<QSpinBox *>(control)) {
        QObject::connect(n, &QSpinBox::valueChanged, p,
                         [p, id](int value) { p->optionClicked(id, value); });
    } else if (auto *t = qobject_cast<QLineEdit *>(control)) {
        QObject::connect(t, &QLineEdit::textEdited, p,
                         [p, id](const QString &text) { p->options()->setText(id, text); });
    }
    sync(control, p, id);
}

void setTyped(QComboBox *c, HarvestPresenter *p, OptionId id, bool typed)
{
    if (c->isEditable() == typed)
        return;
    c->setEditable(typed);
    if (!typed)
        return;
    // A list made editable gets a new text field.
    c->setCompleter(nullptr);
    QObject::connect(c->lineEdit(), &QLineEdit::textEdited, p,
                     [p, id](const QString &text) { p->choiceTextEdited(id, text); });
    sync(c, p, id);
}

void sync(QWidget *control, HarvestPresenter *p, OptionId id)
{
    const int value = p->options()->value(id);
    if (auto *c = qobject_cast<QCheckBox *>(control)) {
        if (c->isChecked() != (value == 1)) {
            const QSignalBlocker block(c);
            c->setChecked(value == 1);
        }
        return;
    }
    if (auto *n = qobject_cast<QSpinBox *>(control)) {
        const QSignalBlocker block(n);
        n->setValue(value);
        return;
    }
    if (auto *t = qobject_cast<QLineEdit *>(control)) {
        const QString text = p->options()->text(id);
        if (t->text() != text)
            t->setText(text);
        return;
    }
    auto *c = qobject_cast<QComboBox *>(control);
    if (!c)
        return;
    const QSignalBlocker block(c);
    if (value >= 0 && value < c->count()) {
        if (c->currentIndex() != value)
            c->setCurrentIndex(value);
    } else if (c->currentIndex() != -1) {
        c->setCurrentIndex(-1);
    }
    if (!c->isEditable())
        return;
    // Nothing picked: the list shows its caption or what was typed. While the user types,
    // the cursor stays where it is.
    const QString text = p->choiceText(id);
    const bool typing = c->lineEdit()->hasFocus();
    const int cursor = c->lineEdit()->cursorPosition();
    if (c->currentText() != text) {
        c->setEditText(text);
        c->lineEdit()->setCursorPosition(typing ? std::min(cursor, int(text.size())) : 0);
    }
}

QString shownText(const QComboBox *c)
{
    if (c->currentIndex() < 0 && !c->isEditable())
        return c->placeholderText();
    return c->currentText();
}

} // namespace OptionControl
