// Reference files: the import's and zebcheck's --ref.
#ifndef REFFILE_H
#define REFFILE_H

#include <stdint.h>

#define REF_BEAMS 1000   // values and seen are indexed by beam number 1..999

bool ParseReferenceLine(const char *line, int *beam, int *value);
// Reads the reference lines of a file for beams first..last into values
// (seen, optional, marks the beams given); the number of lines taken, or -1
// when the file cannot be opened.
int ReadReferenceFile(const char *path, int first, int last, int32_t *values, unsigned char *seen);

#endif
