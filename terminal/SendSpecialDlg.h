#pragma once
// "Send Special Characters": a list of the 256 codes, a value box read in Hex or Decimal, and
// either one character sent at once ("Send Char", also Enter) or a string of added codes sent
// with "Send String". The dialog only chooses; the caller sends after it closed with OK.

#include <QDialog>
#include <vector>

#include "terminal/SpecialChars.h"

class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

class CSendSpecialDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdd = 136;
    static constexpr int kHexId = 1011;
    static constexpr int kDecimalId = 1012;
    static constexpr int kValueId = 1013;
    static constexpr int kListId = 1015;
    static constexpr int kStringId = 1022;
    static constexpr int kSendCharId = 1;
    static constexpr int kCancelId = 2;
    static constexpr int kAddCharId = 3;
    static constexpr int kSendStringId = 4;
    static constexpr int kClearStringId = 5;

    explicit CSendSpecialDlg(QWidget* parent = nullptr);

    // After OK: true when "Send Char" closed the dialog, false for "Send String".
    bool SingleChar() const { return m_bSingleChar == 1; }
    unsigned char Value() const { return m_chValue; }
    // The bytes of "Send String", every added code in order (a 0 included).
    const std::vector<unsigned char>& StringBytes() const { return m_stringBytes; }
    // What to send after OK: one byte, or the string's bytes.
    std::vector<unsigned char> BytesToSend() const;

    QWidget* Control(int id) const;
    QTreeWidget* List() const { return m_list; }
    QLineEdit* ValueBox() const { return m_value; }
    CValueMode Mode() const { return m_mode; }
    // The selected row's code, -1 when none is selected.
    int SelectedCode() const;

private:
    void BuildList();
    void OnValueEdited(const QString& text);
    void OnModeClicked(CValueMode mode);
    void OnListDoubleClicked();
    void OnSendChar();
    void OnAddChar();
    void OnClearString();
    void OnSendString();
    void SelectRow(int code);
    int ParseValueBox();

    unsigned char m_chValue = 0;
    int m_bSingleChar = 0;
    std::vector<unsigned char> m_stringBytes;
    CSpecialString m_string;
    CValueMode m_mode = CValueMode::Hex;

    QRadioButton* m_hex;
    QRadioButton* m_decimal;
    QTreeWidget* m_list;
    QLineEdit* m_value;
    QLineEdit* m_stringBox;
    QPushButton* m_sendString;
};
