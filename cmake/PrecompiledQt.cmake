# Qt's headers parsed once per build tree instead of once per source file.
#
# Two donor libraries precompile the Qt headers the project uses, one without and one with
# the widgets, and every target of the project (each links varnel_common directly) reuses
# one of them. A compiler uses a precompiled header only when the macros it was made with
# are defined the same way where it is used, so the donors carry only the macros every
# target has: varnel_common's and Qt Core's. GCC checks this, and also that no macro a
# target adds changes how the headers read; where one does, it says so in a warning and
# parses the headers as usual, so a mismatch costs time, never correctness.
#
# The donors hold Qt's headers only; the project's own headers change too often to be
# worth it.

set(_varnel_pch_core
  <QtCore/QtCore>
  <QtNetwork/QHostAddress> <QtNetwork/QSslSocket> <QtNetwork/QTcpServer> <QtNetwork/QTcpSocket>
  <QtSql/QSqlDatabase> <QtSql/QSqlError> <QtSql/QSqlQuery> <QtSql/QSqlRecord>)
set(_varnel_pch_gui <QtGui/QtGui> <QtWidgets/QtWidgets>)

function(_varnel_pch_donor name)
  set(src ${CMAKE_BINARY_DIR}/generated/${name}.cpp)
  if(NOT EXISTS ${src})
    file(WRITE ${src} "// Holds the precompiled Qt headers that the project's targets reuse.\n")
  endif()
  add_library(${name} STATIC ${src})
  # Only Qt Core is linked, for its macros; the other modules lend their include folders.
  target_link_libraries(${name} PRIVATE varnel_common Qt6::Core)
  foreach(module ${ARGN})
    target_include_directories(${name} SYSTEM PRIVATE
      $<TARGET_PROPERTY:Qt6::${module},INTERFACE_INCLUDE_DIRECTORIES>)
  endforeach()
  set_target_properties(${name} PROPERTIES AUTOMOC OFF)
endfunction()

# The targets of a folder and of the folders below it.
function(_varnel_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    _varnel_targets_below(${sub} below)
    list(APPEND targets ${below})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# A target whose headers declare no QObject (a test program, say) gets an empty file of moc
# output; it compiles in no time, but would take half a second to load the precompiled
# headers. Should a header gain a Q_OBJECT later, the file is compiled without them, which
# is only slower.
function(_varnel_skip_empty_moc_file t)
  get_target_property(automoc ${t} AUTOMOC)
  if(NOT automoc)
    return()
  endif()
  get_target_property(sources ${t} SOURCES)
  get_target_property(source_dir ${t} SOURCE_DIR)
  foreach(s ${sources})
    get_filename_component(path ${s} ABSOLUTE BASE_DIR ${source_dir})
    get_filename_component(dir ${path} DIRECTORY)
    get_filename_component(base ${path} NAME_WE)
    # AUTOMOC reads the headers listed and the header beside each source.
    set(headers)
    if(path MATCHES "\\.(h|hh|hpp|hxx)$")
      list(APPEND headers ${path})
    endif()
    foreach(ext h hpp)
      if(EXISTS ${dir}/${base}.${ext})
        list(APPEND headers ${dir}/${base}.${ext})
      endif()
    endforeach()
    foreach(h ${headers})
      if(EXISTS ${h})
        file(STRINGS ${h} macros REGEX "Q_OBJECT|Q_GADGET|Q_NAMESPACE|Q_PLUGIN_METADATA")
        if(macros)
          return()
        endif()
      endif()
    endforeach()
  endforeach()
  get_target_property(autogen_dir ${t} AUTOGEN_BUILD_DIR)
  if(NOT autogen_dir)
    get_target_property(binary_dir ${t} BINARY_DIR)
    set(autogen_dir ${binary_dir}/${t}_autogen)
  endif()
  set_source_files_properties(${autogen_dir}/mocs_compilation.cpp TARGET_DIRECTORY ${t}
    PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
endfunction()

# Called once, after every folder is added.
function(varnel_precompile_qt_headers)
  _varnel_pch_donor(varnel_pch_core Network Sql)
  target_precompile_headers(varnel_pch_core PRIVATE ${_varnel_pch_core})
  set(gui_libs varnel_shell Qt6::Widgets Qt6::WebEngineWidgets Qt6::Charts)
  if(VARNEL_GUI)
    _varnel_pch_donor(varnel_pch_gui Network Sql Gui Widgets)
    target_precompile_headers(varnel_pch_gui PRIVATE ${_varnel_pch_core} ${_varnel_pch_gui})
  endif()

  _varnel_targets_below(${CMAKE_SOURCE_DIR} targets)
  foreach(t ${targets})
    get_target_property(type ${t} TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|OBJECT_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY)$"
       OR t MATCHES "^varnel_pch_")
      continue()
    endif()
    get_target_property(libs ${t} LINK_LIBRARIES)
    if(NOT "varnel_common" IN_LIST libs)
      continue()
    endif()
    set(donor varnel_pch_core)
    if(VARNEL_GUI)
      foreach(lib ${gui_libs})
        if(lib IN_LIST libs)
          set(donor varnel_pch_gui)
        endif()
      endforeach()
    endif()
    set_target_properties(${t} PROPERTIES PRECOMPILE_HEADERS_REUSE_FROM ${donor})
    _varnel_skip_empty_moc_file(${t})
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_compile_options(${t} PRIVATE -Wno-error=invalid-pch)
    endif()
  endforeach()
endfunction()
