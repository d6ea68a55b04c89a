// Marks the exported entMLST functions; everything else stays hidden.
#pragma once

#define CORVEL_EXPORT extern "C" __attribute__((visibility("default")))
