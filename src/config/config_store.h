// The file store of configuration documents: the shared path record, and the whole-file
// read, write and keyed byte permutation of ConfigText (defined in config_store.cpp).
#pragma once

#include "config/config_text.h"
#include "config/shared_ref.h"

#include <string>

// The file a document was loaded from or is saved to, shared by the document and its
// sub-sections. Only records with a non-empty path are ever made.
struct ConfigPath {
    std::string path;
};

// A new path record for `path`; an empty handle for a null or empty path or when
// memory runs out.
SharedRef<ConfigPath> MakeConfigPath(const char* path);
