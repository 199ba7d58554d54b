#include "ConfigBinder.h"

#include "Prompter.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>

#include <utility>

ConfigBinder::ConfigBinder(QWidget* owner)
    : QObject(owner)
    , m_owner(owner)
{
}

ConfigBinder::~ConfigBinder() = default;

void ConfigBinder::setSource(Source source)
{
    m_source = std::move(source);
}

ConfigParam* ConfigBinder::record() const
{
    return m_source ? m_source() : nullptr;
}

double ConfigBinder::valueOf(QDoubleSpinBox* b)
{
    return b->value();
}

int ConfigBinder::valueOf(QSpinBox* b)
{
    return b->value();
}

bool ConfigBinder::valueOf(QAbstractButton* b)
{
    return b->isChecked();
}

int ConfigBinder::valueOf(QComboBox* b)
{
    return b->currentIndex();
}

QString ConfigBinder::valueOf(QLineEdit* e)
{
    return e->text();
}

void ConfigBinder::bind(QDoubleSpinBox* box, Show<double> show, Rule<double> rule, unsigned follow, After after)
{
    add({box, [box, show](const ConfigParam& c) { box->setValue(show(c)); },
         [rule](ConfigParam& c, const QVariant& v) { return rule(c, v.toDouble()); }, follow, std::move(after)});
    connect(box, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            [this, box](double v) { edit(box, v); });
}

void ConfigBinder::bind(QSpinBox* box, Show<int> show, Rule<int> rule, unsigned follow, After after)
{
    add({box, [box, show](const ConfigParam& c) { box->setValue(show(c)); },
         [rule](ConfigParam& c, const QVariant& v) { return rule(c, v.toInt()); }, follow, std::move(after)});
    connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, [this, box](int v) { edit(box, v); });
}

void ConfigBinder::bind(QAbstractButton* button, Show<bool> show, Rule<bool> rule, unsigned follow, After after)
{
    add({button, [button, show](const ConfigParam& c) { button->setChecked(show(c)); },
         [rule](ConfigParam& c, const QVariant& v) { return rule(c, v.toBool()); }, follow, std::move(after)});
    connect(button, &QAbstractButton::toggled, this, [this, button](bool on) { edit(button, on); });
}

void ConfigBinder::bind(QComboBox* box, Show<int> show, Rule<int> rule, unsigned follow, After after)
{
    // A field beyond the list shows its last entry.
    add({box,
         [box, show](const ConfigParam& c) {
             const int v = show(c);
             box->setCurrentIndex(box->count() > 0 ? std::min(v, box->count() - 1) : v);
         },
         [rule](ConfigParam& c, const QVariant& v) { return rule(c, v.toInt()); }, follow, std::move(after)});
    connect(box, QOverload<int>::of(&QComboBox::activated), this, [this, box](int i) {
        if (i >= 0)
            edit(box, i);
    });
}

void ConfigBinder::bind(QLineEdit* line, Show<QString> show, Rule<QString> rule, unsigned follow, After after)
{
    add({line, [line, show](const ConfigParam& c) { line->setText(show(c)); },
         [rule](ConfigParam& c, const QVariant& v) { return rule(c, v.toString()); }, follow, std::move(after)});
    connect(line, &QLineEdit::editingFinished, this, [this, line] { edit(line, line->text()); });
}

void ConfigBinder::bindShown(QAbstractButton* button, Show<bool> show)
{
    add({button, [button, show](const ConfigParam& c) { button->setChecked(show(c)); }, {}, Nothing, {}});
}

void ConfigBinder::add(Binding b)
{
    m_bindings.push_back(std::move(b));
}

void ConfigBinder::showAll()
{
    ConfigParam* c = record();
    if (!c)
        return;
    const bool showing = std::exchange(m_showing, true);
    for (Binding& b : m_bindings) {
        const QSignalBlocker block(b.control);
        b.show(*c);
    }
    m_showing = showing;
}

void ConfigBinder::edit(QWidget* control, const QVariant& value)
{
    if (m_showing)
        return;
    for (Binding& b : m_bindings)
        if (b.control == control && b.rule) {
            run(b, value);
            return;
        }
}

void ConfigBinder::run(Binding& b, const QVariant& value)
{
    ConfigParam* c = record();
    if (!c)
        return;
    const ConfigVerdict verdict = b.rule(*c, value);
    if (verdict.taken && b.after)
        b.after(*c);
    if (verdict.taken && (b.follow & ShowAll)) {
        showAll();
    } else {
        // The control shows what the record holds: a refused value goes back.
        const bool showing = std::exchange(m_showing, true);
        const QSignalBlocker block(b.control);
        b.show(*c);
        m_showing = showing;
    }
    if (verdict.taken && b.follow != Nothing)
        emit edited(b.follow);
    if (verdict.note.isEmpty())
        return;
    if (verdict.warning)
        Prompter::warning(m_owner, verdict.title, verdict.note);
    else
        Prompter::information(m_owner, verdict.title, verdict.note);
}
