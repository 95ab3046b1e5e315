// The help window of the screen: a page in Portuguese, shipped inside the program, on the zones, the
// gestures, the keys, filters, grouping and the viewer. One window, brought to the front when asked
// again; it belongs to the main window.
#pragma once

class QWidget;
class QDialog;

// Shows the help window over `parent`, creating it the first time; returns it.
QDialog* ShowHelp(QWidget* parent);
