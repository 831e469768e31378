// grid-demo: the palette grid as the link editor configures it, with a few
// parameter rows to try it out.
//   grid-demo [--screenshot FILE]   with a file: draws the window into it and ends
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include <cstring>

#include "PalGrid.h"

using namespace elo;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QString::fromUtf8("Elo \u2014 grade de par\u00e2metros"));
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(new QLabel(QString::fromUtf8("Par\u00e2metros do tag \u201cpointer\u201d")));

    auto* grid = new TPalGrid;
    grid->SetColCount(3);
    grid->SetFixedCols(0);
    grid->SetRowCount(4);
    grid->SetFixedRows(1);
    grid->SetGridLineWidth(0);
    grid->SetColWidths(0, 23);
    grid->SetColWidths(1, 85);
    grid->SetColWidths(2, 491);
    grid->SetOptions(dgeColSizing | dgeEditing | dgeAutoAppendRows | dgeArrowKeyActive);
    grid->KeyCol = -1;
    grid->OnGetEditStyle = [](TPalGrid&, int col, int, TEditStyle& style, bool&) {
        if (col == 0) style = edsCheckBox;
    };
    const char* titles[] = {"Var", "\u00cdtem", "Conte\u00fado"};
    for (int c = 0; c < 3; ++c) grid->SetCells(c, 0, QString::fromUtf8(titles[c]));
    const char* rows[][3] = {
        {"1", "pointer", "frmClientes"}, {"0", "Caption", "\"Abrir clientes\""}, {"1", "modo", "edit"}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) grid->SetCells(c, r + 1, QString::fromUtf8(rows[r][c]));
    grid->FocusCell(1, 2);
    layout->addWidget(grid, 1);
    auto* hint =
        new QLabel(QString::fromUtf8("Enter avança de célula; ↓ na última linha preenchida acrescenta uma linha; "
                                     "Espaço ou clique marca a coluna Var."));
    hint->setWordWrap(true);
    layout->addWidget(hint);
    window.resize(640, 220);
    window.show();
    grid->setFocus();

    if (argc == 3 && std::strcmp(argv[1], "--screenshot") == 0) {
        const QString file = QString::fromLocal8Bit(argv[2]);
        QTimer::singleShot(300, [&window, &app, file] {
            window.grab().save(file);
            app.quit();
        });
    }
    return app.exec();
}
