#ifndef COMPARE_START_GATE_H
#define COMPARE_START_GATE_H

// Holds forked processes until the process that created it opens it: all
// waiters pass at once. Create it before the fork; every waiter calls
// wait(), which first lets go of its copy of the opening end.
class StartGate {
  public:
    StartGate();
    ~StartGate();
    StartGate(const StartGate&) = delete;
    StartGate& operator=(const StartGate&) = delete;

    void open();
    void wait();

  private:
    int descriptors[2];
};

#endif
