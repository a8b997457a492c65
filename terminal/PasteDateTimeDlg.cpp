#include "PasteDateTimeDlg.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "terminal/DateTimeText.h"

CPasteDateTimeDlg::CPasteDateTimeDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Paste Date & Time");
    auto* box = new QGroupBox("Choose Format to Send Date and Time", this);
    auto* radios = new QVBoxLayout(box);
    m_group = new QButtonGroup(this);
    // The labels show the command's line end as the two characters \r.
    const char* const labels[] = {"MM/DD/YY HH:MM:SS", "MM/DD/YYYY HH:MM:SS",
                                  "DATE MM/DD/YY HH:MM:SS\\r", "DATE MM/DD/YYYY HH:MM:SS\\r"};
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(labels[i], box);
        radio->setObjectName(QString::number(kFirstFormatId + i));
        m_group->addButton(radio, i);
        radios->addWidget(radio);
    }
    m_group->button(kDateCommandShortYear)->setChecked(true);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("1");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("2");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    auto* top = new QHBoxLayout(this);
    top->addWidget(box, 1);
    top->addLayout(buttons);
}

int CPasteDateTimeDlg::Format() const { return m_group->checkedId(); }

QWidget* CPasteDateTimeDlg::Control(int id) const {
    return findChild<QWidget*>(QString::number(id));
}
