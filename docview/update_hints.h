// Update hints: what a document tells its views through UpdateAllViews, with an object.
#pragma once

enum UpdateHint : int {
    HINT_SERVER_ADDED = 1000,    // object: the server
    HINT_SERVER_REMOVED = 1001,  // object: the server
    HINT_SELECTION_NOT_GROUP = 1002,
    HINT_GROUP_ADDED = 1020,     // object: the group
    HINT_GROUP_REMOVED = 1021,   // object: the group
    HINT_GROUP_SELECTED = 1022,  // a group was selected or its items changed
    HINT_ITEMS_ADDED = 1040,     // object: array of the new items ending with a null entry
    HINT_ITEM_STATES_CHANGED = 1042,
    HINT_PROJECT_LOADED = 1060,  // object: the first server
    HINT_PROJECT_UNLOADING = 1061,
    HINT_CONNECTION_STATES = 1062,
    HINT_REPAINT_ALL = 1063,
};
