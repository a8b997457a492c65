#pragma once
// "Paste Date & Time": one of four formats of the current date and time, the third ("DATE "
// command with a two-digit year) preselected each time. The choice is not stored.

#include <QDialog>

class QButtonGroup;

class CPasteDateTimeDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdd = 137;
    static constexpr int kFirstFormatId = 1020;

    explicit CPasteDateTimeDlg(QWidget* parent = nullptr);
    // The selected format, 0 to 3.
    int Format() const;
    QWidget* Control(int id) const;

private:
    QButtonGroup* m_group;
};
