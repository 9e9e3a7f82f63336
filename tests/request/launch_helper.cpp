// A tiny program for the launcher tests: "launch_helper EXIT_CODE [SLEEP_MS [FILE]]"
// writes its HOME and its arguments (one per line) to FILE, sleeps, and exits.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv)
{
    if (argc > 3) {
        if (FILE* out = std::fopen(argv[3], "w")) {
            const char* home = std::getenv("HOME");
            std::fprintf(out, "HOME=%s\n", home ? home : "(absent)");
            for (int i = 0; i < argc; ++i)
                std::fprintf(out, "%s\n", argv[i]);
            std::fclose(out);
        }
    }
    if (argc > 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
    return argc > 1 ? std::atoi(argv[1]) : 0;
}
