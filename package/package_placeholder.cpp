// Keeps this library non-empty while the folder fills up; delete once real sources exist.
int qn_placeholder_package;
