# Writes the batch tool's reference (Markdown) from its own help, so the two
# cannot drift: cmake -DCLI=<orbelune-cli> -DOUT=<file.md> -P cli_reference.cmake
function(run_help out)
    execute_process(COMMAND ${CLI} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${CLI} ${ARGN} --help failed (${rc})")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

run_help(main)
# The commands are the lines "  NAME  summary" of the main help.
string(REGEX MATCHALL "\n  [a-z]+ " names "${main}")
if(NOT names)
    message(FATAL_ERROR "${CLI} --help lists no commands")
endif()

set(md "## Batch tool reference\n\n")
string(APPEND md "`orbelune-cli` works on the same core as the desktop program.\n")
string(APPEND md "This is what it and each of its commands print for `--help`.\n\n")
string(APPEND md "```text\n${main}```\n")
foreach(name IN LISTS names)
    string(STRIP "${name}" name)
    run_help(help ${name})
    string(REGEX MATCH "^usage: [^\n]*" usage "${help}")
    string(REGEX REPLACE "^usage: " "" usage "${usage}")
    string(APPEND md "\n### orbelune-cli ${name}\n\n`${usage}`\n\n```text\n${help}```\n")
endforeach()

# Written only when changed, so what depends on it is not rebuilt for nothing.
file(WRITE ${OUT}.tmp "${md}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
