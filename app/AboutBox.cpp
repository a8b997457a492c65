#include "AboutBox.h"

#include <QLabel>
#include <QPushButton>

#include "comm/DialogUnits.h"

CAboutBox::CAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Tarvoline");
    const CDialogUnits du(*this);
    setFixedSize(du.X(217), du.Y(55));

    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap(":/res/tarvoline.png"));
    icon->setGeometry(du.X(11), du.Y(17), 32, 32);

    auto* version = new QLabel(kVersionText, this);
    du.Place(version, 40, 10, 119, 8);
    version->setObjectName("version");
    auto* second = new QLabel(kSecondLine, this);
    du.Place(second, 40, 25, 119, 8);
    second->setObjectName("secondLine");

    auto* ok = new QPushButton("OK", this);
    du.Place(ok, 178, 7, 32, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
