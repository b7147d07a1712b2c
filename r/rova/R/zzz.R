# ggplot2's pronoun for the columns of the plotted data, named in plot_rova.
utils::globalVariables(".data")
