// Removal of the product's Start-menu folder.
#pragma once

// Deletes the folder `title` below the all-users Programs folder, below every user
// profile's Programs folder (the default user's included) and below the default
// user's Programs folder; scheduled at restart unless "/nr". Every deletion passes
// the deletion guard: an empty or escaping title never takes a Programs folder, and a
// refusal is logged ("Cannot delete system directory"). No result.
void RemoveStartMenuFolder(const char* title);
