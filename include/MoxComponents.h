#ifndef MOX_COMPONENTS_H
#define MOX_COMPONENTS_H

// The components of the database system. The number is the bit of the
// component in the trace mask and the component recorded with an error.
enum MoxComponent {
    CommandLine = 0,
    Compiler = 1,
    Optimizer = 2,
    CatalogManager = 3,
    RunTime = 4,
    RecordManager = 5,
    IndexManager = 6,
    LockManager = 7,
    LogManager = 8,
    BufferManager = 9,
    FileManager = 10,
    Support = 11
};

#define MOX_NUMBER_OF_COMPONENTS 12

#endif
