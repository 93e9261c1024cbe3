// The value types (signal strengths, receiver and transmitter feedback,
// stored references) as the controller knows them: the letter of the B64
// command and the old request's mode byte. Only signal strengths come in a
// second old-protocol pass over the diagonal beams; feedback codes of one
// type never stand for that pass of another. The simulator keeps its own
// copy; a test checks it against the program's.
#ifndef SIM_VALUETYPES_H
#define SIM_VALUETYPES_H

static const struct {
    char letter;
    int mode;
    bool evenPass;
} kValueType[] = {{'s', 0x61, true}, {'r', 0x01, false}, {'t', 0x02, false}, {'R', 0x72, false}};

#endif
