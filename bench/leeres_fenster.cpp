// SPDX-License-Identifier: GPL-3.0-or-later
// A bare Qt window of Tempiro's size: the floor for start time and memory that
// any Qt Widgets program on this machine starts from. bench.sh measures it
// next to the real program.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget fenster;
    fenster.setWindowTitle(QStringLiteral("Leeres Fenster"));
    fenster.resize(312, 221);
    fenster.show();
    return app.exec();
}
