// A program that only runs on until it is ended (at most a minute), so that tests can find it among the
// machine's processes and end it.
#include <chrono>
#include <thread>

int main() {
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 7;
}
