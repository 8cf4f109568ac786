#pragma once

#include <QComboBox>
#include <QString>
#include <functional>

// The port list: a drop-down list of port names in text order, byte by byte (COM1, COM10, COM2). An
// entry may carry a description of its device, which the dropped-down list shows beside the name
// ("ttyUSB0 — FTDI FT232R USB UART") and the box shows as its tooltip; the closed box shows the bare
// name, and the name is what the port is opened by.
class CPortListBox : public QComboBox {
public:
    explicit CPortListBox(QWidget* parent);

    void clearNames();
    void addName(const QString& name);
    void setDescription(const QString& name, const QString& description);
    // The index of the entry of exactly that name, or -1.
    int findName(const QString& name) const;
    QString nameAt(int index) const;
    QString descriptionAt(int index) const;
    // The chosen entry's name; empty when none is chosen.
    QString chosenName() const;

    bool droppedDown() const;
    // Runs after the drop-down has closed, once the choice made in it has been taken.
    void setCloseUpHandler(std::function<void()> handler) { closeUp_ = std::move(handler); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void widenDropDown(const QString& text);
    void showChosenDescription();

    std::function<void()> closeUp_;
};
