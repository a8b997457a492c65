#pragma once
// The About box: program icon, name and version, and one line about the program.

#include <QDialog>

class CAboutBox : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kVersionText = "Tarvoline Version 2.00";
    static constexpr const char* kSecondLine = "Serial terminal for ViVaz boards";

    explicit CAboutBox(QWidget* parent = nullptr);
};
