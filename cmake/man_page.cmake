# Makes a man page with help2man from the program's --help, with the
# hand-written sections of SECTIONS and, for each subcommand in
# SUBCOMMANDS, its own --help as written by the program.
#   cmake -DPROGRAM=... -DNAME=... -DSECTIONS=... -DSUBCOMMANDS="a;b" -DOUTPUT=... -DHELP2MAN=... -P man_page.cmake
file(READ ${SECTIONS} include_text)
if(SUBCOMMANDS)
  string(APPEND include_text "\n[COMMANDS]\n")
  foreach(sub IN LISTS SUBCOMMANDS)
    execute_process(COMMAND ${PROGRAM} ${sub} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${PROGRAM} ${sub} --help failed")
    endif()
    # Backslashes and leading dots are roff's; a help text has none of its own meaning.
    string(REPLACE "\\" "\\e" help "${help}")
    string(REGEX REPLACE "\n\\." "\n\\\\&." help "${help}")
    string(APPEND include_text ".SS \"${NAME} ${sub}\"\n.nf\n${help}.fi\n")
  endforeach()
endif()
get_filename_component(out_dir ${OUTPUT} DIRECTORY)
file(WRITE ${out_dir}/${NAME}.h2m "${include_text}")
execute_process(COMMAND ${HELP2MAN} --no-info --section=1 --include=${out_dir}/${NAME}.h2m
                        --output=${OUTPUT} ${PROGRAM}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${PROGRAM}")
endif()
