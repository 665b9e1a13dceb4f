/* Quintarra skin: a Qt style sheet applied to the main window.
   Fonts stay as the window sets them; only colours, borders and spacing change. */

QPushButton {
    color: #1f2d3d;
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                      stop: 0 #fdfdfd, stop: 1 #dfe6ee);
    border: 1px solid #8a9bb0;
    border-radius: 4px;
    padding: 2px 8px;
}

QPushButton:hover {
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                      stop: 0 #ffffff, stop: 1 #cfe0f3);
    border-color: #3a6ea5;
}

QPushButton:pressed {
    background-color: #b9d0ea;
}

QPushButton:focus {
    border: 2px solid #3a6ea5;
}

QTreeView {
    color: #1f2d3d;
    background-color: #ffffff;
    alternate-background-color: #f3f6fa;
    border: 1px solid #8a9bb0;
    selection-background-color: #3a6ea5;
    selection-color: #ffffff;
}

QHeaderView::section {
    color: #1f2d3d;
    background-color: #e4eaf1;
    border: none;
    border-right: 1px solid #c3ccd7;
    border-bottom: 1px solid #8a9bb0;
    padding: 2px 6px;
}
