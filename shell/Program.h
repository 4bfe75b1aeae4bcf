#pragma once

// Creates the program's objects once, in this order: the main menu (the
// main window, owner of the others), the login form, the data module, the
// articles, article packaging and report screens. The login form's registry
// query is bound to the data module's registry connection as soon as the
// data module exists.
void createProgramObjects();
