#pragma once
// The one way a control of the scan configuration panel is tied to a field of
// the configuration record. An edit goes into the record through the field's
// rule; the control then shows what the record holds (a refused value is put
// back); the panel's follow-up (enables, time estimate) and the rule's note
// come after it, here and nowhere else.
//
// Like the panel, the binder keeps no pointer to the record: it asks its
// source on every edit and every show.
#include "ConfigParam.h"

#include <QObject>
#include <QString>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <type_traits>
#include <vector>

class QAbstractButton;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;
class QWidget;

// What became of an edit: taken or refused, and the box to show about it.
struct ConfigVerdict {
    bool taken = true;
    QString note; // empty: nothing to say
    QString title;
    bool warning = false; // a warning box rather than an information box

    static ConfigVerdict say(const QString& note, const QString& title = QString())
    {
        return {true, note, title, false};
    }
    static ConfigVerdict refuse(const QString& note = QString(), const QString& title = QString(),
                                bool warning = false)
    {
        return {false, note, title, warning};
    }
};

class ConfigBinder : public QObject
{
    Q_OBJECT
public:
    using Source = std::function<ConfigParam*()>;
    // What the panel does after an edit the record took.
    enum Follow : unsigned {
        Nothing = 0,
        Estimate = 1, // a new time estimate
        Enables = 2,  // controls that depend on the field open or close
        ShowAll = 4,  // the rule changed other fields too: every control shows the record again
    };
    template <typename V> using Show = std::function<V(const ConfigParam&)>;
    template <typename V> using Rule = std::function<ConfigVerdict(ConfigParam&, V)>;
    using After = std::function<void(ConfigParam&)>;

    // `owner` is the parent of the boxes the notes open.
    explicit ConfigBinder(QWidget* owner);
    ~ConfigBinder() override;

    void setSource(Source source);
    ConfigParam* record() const;

    // A control with a show and a rule of its own; `after` runs once the
    // record took the edit, before the follow-up.
    void bind(QDoubleSpinBox* box, Show<double> show, Rule<double> rule, unsigned follow = Nothing,
              After after = {});
    void bind(QSpinBox* box, Show<int> show, Rule<int> rule, unsigned follow = Nothing, After after = {});
    void bind(QAbstractButton* button, Show<bool> show, Rule<bool> rule, unsigned follow = Nothing,
              After after = {});
    void bind(QComboBox* box, Show<int> show, Rule<int> rule, unsigned follow = Nothing, After after = {});
    void bind(QLineEdit* edit, Show<QString> show, Rule<QString> rule, unsigned follow = Nothing,
              After after = {});
    // A control that only shows (the other button of an exclusive pair).
    void bindShown(QAbstractButton* button, Show<bool> show);

    // A control bound straight to the field `access` names, e.g.
    //   [](auto& c) -> auto& { return c.sync.start; }
    // The value goes in as it is (converted to the field's type).
    template <typename Control, typename Access>
    void bindField(Control* control, Access access, unsigned follow = Nothing, After after = {})
    {
        using V = decltype(valueOf(control));
        bind(
            control, [access](const ConfigParam& c) { return toControl<V>(access(c)); },
            [access](ConfigParam& c, V v) {
                auto& field = access(c);
                field = std::remove_reference_t<decltype(field)>(v);
                return ConfigVerdict();
            },
            follow, std::move(after));
    }

    // Every control shows the record (signals blocked; nothing is edited).
    void showAll();
    // Runs the edit of `control` as if it had been set to `value`.
    void edit(QWidget* control, const QVariant& value);

    // Field value as a control shows it: counts beyond an int stop at its top.
    template <typename V, typename T> static V toControl(T v)
    {
        if constexpr (std::is_same_v<V, int> && std::is_floating_point_v<T>)
            return int(std::lround(v));
        else if constexpr (std::is_same_v<V, int> && std::is_unsigned_v<T>)
            return int(std::min<T>(v, T(std::numeric_limits<int>::max())));
        else
            return V(v);
    }

signals:
    // An edit the record took; `follow` holds Follow flags.
    void edited(unsigned follow);

private:
    struct Binding {
        QWidget* control;
        std::function<void(const ConfigParam&)> show;
        std::function<ConfigVerdict(ConfigParam&, const QVariant&)> rule; // empty: shown only
        unsigned follow;
        After after;
    };
    static double valueOf(QDoubleSpinBox*);
    static int valueOf(QSpinBox*);
    static bool valueOf(QAbstractButton*);
    static int valueOf(QComboBox*);
    static QString valueOf(QLineEdit*);

    void add(Binding b);
    void run(Binding& b, const QVariant& value);

    QWidget* m_owner;
    Source m_source;
    std::vector<Binding> m_bindings;
    bool m_showing = false; // controls changed by a show are no edits
};
