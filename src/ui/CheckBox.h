#pragma once
#include <QCheckBox>

// A check box with the three states of the settings: 0 unchecked, 1 checked, 2 grayed.
// Grayed is reached only by the program (a settings file can ask for it); a click
// moves between checked and unchecked.
class CheckBox : public QCheckBox
{
    Q_OBJECT
public:
    explicit CheckBox(const QString &caption, QWidget *parent = nullptr);

    int Value() const;
    void setValue(int value); // 0, 1 or 2; anything else is ignored

protected:
    void nextCheckState() override;
};
