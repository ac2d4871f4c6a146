#ifndef COMPARE_REPORT_PIPE_H
#define COMPARE_REPORT_PIPE_H

#include <string>

// A pipe that forked processes report on in lines, each written with one
// write so that lines of several writers never mix; the reader takes them
// one by one with a time limit. Create it before the fork; each side then
// closes the end it does not use.
class ReportPipe {
  public:
    ReportPipe();
    ~ReportPipe();
    ReportPipe(const ReportPipe&) = delete;
    ReportPipe& operator=(const ReportPipe&) = delete;

    // Writer side. Newlines in the text become blanks; a line is cut to
    // fit one atomic write.
    void send(const std::string& line);
    void closeReadEnd();

    // Reader side. False when every writer has closed the pipe or when no
    // line came within timeoutSeconds (timedOut tells which).
    bool receive(std::string& line, int timeoutSeconds, bool& timedOut);
    void closeWriteEnd();

  private:
    int descriptors[2];
    std::string pending;  // received bytes not yet returned as a line
};

#endif
