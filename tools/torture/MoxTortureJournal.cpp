#include "MoxTortureJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

MoxTortureJournal::MoxTortureJournal(const std::string& path)
    : descriptor(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600)) {}

MoxTortureJournal::~MoxTortureJournal() {
    if (descriptor >= 0) {
        close(descriptor);
    }
}

void MoxTortureJournal::append(const std::string& text) {
    // One call, so that a kill leaves the block whole or cut off, never
    // interleaved.
    if (descriptor < 0 || write(descriptor, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        throw std::runtime_error("the journal cannot be written");
    }
}

void MoxTortureJournal::intend(const MoxTransactionId& transaction, const std::vector<Change>& changes) {
    std::ostringstream block;
    block << "I " << transaction << "\n";
    for (const Change& change : changes) {
        if (change.removed) {
            block << "D " << change.table << " " << change.row.key << "\n";
        } else {
            block << "S " << change.table << " " << change.row.key << " " << change.row.seed << " " << change.row.length
                  << "\n";
        }
    }
    block << "E\n";
    append(block.str());
}

void MoxTortureJournal::confirm(const MoxTransactionId& transaction) {
    append("C " + transaction.dump() + "\n");
}

std::vector<MoxTortureJournal::Transaction> MoxTortureJournal::read(const std::string& path) {
    std::vector<Transaction> transactions;
    std::map<std::string, size_t> byId;
    std::ifstream file(path);
    std::string line;
    Transaction open;
    bool inBlock = false;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "I") {
            open = Transaction();
            words >> open.id;
            inBlock = true;
        } else if (kind == "E" && inBlock) {
            byId[open.id] = transactions.size();
            transactions.push_back(open);
            inBlock = false;
        } else if ((kind == "S" || kind == "D") && inBlock) {
            Change change;
            change.removed = kind == "D";
            words >> change.table >> change.row.key;
            if (!change.removed) {
                words >> change.row.seed >> change.row.length;
            }
            open.changes.push_back(change);
        } else if (kind == "C") {
            std::string id;
            words >> id;
            const auto found = byId.find(id);
            if (found != byId.end()) {
                transactions[found->second].confirmed = true;
            }
        }
    }
    return transactions;
}
