#pragma once

#include <QAbstractButton>
#include <QColor>

// A push button that shows its face colour whatever the Qt style: the face filled with the colour,
// a classic raised 3-D border that sinks while the button is down, a white centred caption, no focus
// and so no focus rectangle.
class CColourButton : public QAbstractButton {
public:
    CColourButton(const QString& caption, QColor face, QWidget* parent);

    void setFaceColour(QColor face);
    QColor faceColour() const { return face_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor face_;
};
