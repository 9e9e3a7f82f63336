// A tiny program for the launcher tests: "launch_helper EXIT_CODE [SLEEP_MS [FILE]]"
// writes its HOME, the password variables it inherited, and its arguments (one per line)
// to FILE, sleeps, and exits.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <thread>

int main(int argc, char** argv)
{
    if (argc > 3) {
        if (FILE* out = std::fopen(argv[3], "w")) {
            const char* home = std::getenv("HOME");
            std::fprintf(out, "HOME=%s\n", home ? home : "(absent)");
            for (const char* secret : {"BRIVET_PASSWORD", "KWQT_PASSWORD", "KWQT_PROXY_PASSWORD"})
                if (std::getenv(secret))
                    std::fprintf(out, "%s is set\n", secret);
            for (int i = 0; i < argc; ++i)
                std::fprintf(out, "%s\n", argv[i]);
            std::fclose(out);
        }
    }
    if (argc > 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
    return argc > 1 ? std::atoi(argv[1]) : 0;
}
