# The sample-size curves of a rova result, drawn with ggplot2.

#' Draw the sample-size curves
#'
#' Fire events per century against the trees in the sample: for each
#' threshold the mean of the simulations with the band of their 2.5 and
#' 97.5 percentiles, the exact expected value (dashed) and the value of all
#' trees (a point). One panel per site and span.
#'
#' @param x what \code{\link{rova_run}} or \code{\link{read_rova}} returns,
#'   or its \code{tidy} data frame.
#' @return a ggplot object; print it to draw it, or save it with
#'   \code{ggplot2::ggsave}.
#' @export
plot_rova <- function(x) {
  if (!requireNamespace("ggplot2", quietly = TRUE))
    stop("plot_rova needs the package ggplot2 (Debian: r-cran-ggplot2)", call. = FALSE)
  tidy <- if (inherits(x, "rova")) x$tidy else x
  needed <- c("site", "span_first_year", "span_last_year", "trees", "threshold",
              "observed", "mean", "p2_5", "p97_5")
  if (!is.data.frame(tidy) || !all(needed %in% names(tidy)))
    stop("plot_rova: x is neither a rova result nor its tidy table", call. = FALSE)
  tidy$panel <- paste0(tidy$site, " ", tidy$span_first_year, "\u2013", tidy$span_last_year)
  tidy$threshold <- factor(tidy$threshold, levels = c(1, 2),
                           labels = c("\u2265 1 tree", "\u2265 2 trees"))
  simulated <- tidy[!tidy$observed & !is.na(tidy$mean), ]
  observed <- tidy[tidy$observed & !is.na(tidy$mean), ]
  aes <- ggplot2::aes
  plot <- ggplot2::ggplot(simulated, aes(x = .data$trees, colour = .data$threshold,
                                         fill = .data$threshold)) +
    ggplot2::geom_ribbon(aes(ymin = .data$p2_5, ymax = .data$p97_5),
                         alpha = 0.2, colour = NA) +
    ggplot2::geom_line(aes(y = .data$mean))
  if ("exact_mean" %in% names(tidy))
    plot <- plot + ggplot2::geom_line(data = tidy[!is.na(tidy$exact_mean), ],
                                      aes(y = .data$exact_mean), linetype = "dashed")
  plot +
    ggplot2::geom_point(data = observed, aes(y = .data$mean), size = 1.5) +
    ggplot2::facet_wrap(ggplot2::vars(.data$panel)) +
    ggplot2::scale_colour_manual(values = c("#0072B2", "#D55E00"), drop = FALSE) +
    ggplot2::scale_fill_manual(values = c("#0072B2", "#D55E00"), drop = FALSE) +
    ggplot2::labs(x = "Trees in the sample", y = "Fire events per century",
                  colour = "Fire years found by", fill = "Fire years found by") +
    ggplot2::theme_bw() +
    ggplot2::theme(legend.position = "bottom")
}
